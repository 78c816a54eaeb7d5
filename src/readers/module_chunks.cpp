// Walking the chunks of a chunked module.
#include "readers/module_chunks.h"

#include <cstring>

namespace trk2inst {

bool ModuleChunk::is(const char* name) const
{
    const std::size_t length = std::strlen(name);
    return length <= id.size() && std::memcmp(id.data(), name, length) == 0;
}

bool next_chunk(InputStream& input, ChunkWalk& walk, ModuleChunk& chunk)
{
    if (walk.next + walk.id_bytes + 4 > walk.input_size)
        return false;
    seek_to(input, walk.next);
    chunk.id.fill('\0');
    read_block(input, chunk.id.data(), static_cast<std::size_t>(walk.id_bytes));
    chunk.size = walk.big_endian ? read_u32be(input) : read_u32le(input);
    chunk.body = walk.next + walk.id_bytes + 4;
    walk.next = chunk.end();
    return true;
}

bool find_chunk(InputStream& input, ChunkWalk walk, const char* id, ModuleChunk& chunk)
{
    ModuleChunk next;
    while (next_chunk(input, walk, next)) {
        if (next.is(id)) {
            chunk = next;
            return true;
        }
    }
    return false;
}

}  // namespace trk2inst

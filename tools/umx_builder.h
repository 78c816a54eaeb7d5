// Unreal packages around a module.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// A package of one version, its name, import and export tables after the
// exported object: one import (the class "Music", or "Sound"), and exports
// of that class, each with the module as its body.
struct UmxSpec {
    std::uint16_t version = 69;
    Bytes module;
    std::string format = "it";
    std::string class_name = "Music";
    int exports = 1;
    std::optional<std::uint32_t> module_length;  // the length stored in the object
};

Bytes build_umx(const UmxSpec& layout);

// Unreal's compact index: sign and 6 bits, then 7 bits a byte.
void put_index(Bytes& out, std::int64_t value);

}  // namespace trk2inst::build

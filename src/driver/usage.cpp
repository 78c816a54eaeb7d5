// The usage summary that --help prints, and a run without a module shows.
#include "driver/command_line.h"

namespace trk2inst {

const char* usage_text()
{
    return "Usage: trk2inst [COMMAND...] < MODULE\n"
           "       trk2inst =M|=W|=S|=A FILE [COMMAND...]\n"
           "       trk2inst =A - [COMMAND...] < MODULE\n"
           "Reads one tracker module, then carries out the commands from left to right.\n"
           "\n"
           "Forms:\n"
           "  (none)     ProTracker or Extended Module on standard input   trk2inst i < demo.mod\n"
           "  =M FILE    ProTracker or Extended Module                     trk2inst =M demo.mod i\n"
           "  =W FILE    the same, \"M.K.\" read with 8 channels (WOW)       trk2inst =W demo.mod i\n"
           "  =S FILE    Scream Tracker 3 module                           trk2inst =S demo.s3m i\n"
           "  =A FILE    any module, every sample stored (- for stdin)     trk2inst =A demo.it i\n"
           "\n"
           "Commands:\n"
           "  oN         instrument record of slot N (1 to 99)             trk2inst =M demo.mod o1 > lead.bin\n"
           "  -NAME      record of the slot named NAME                     trk2inst =M demo.mod \"-noise hit\" > hit.bin\n"
           "  wN         slot N as an 8-bit WAV file at its note's rate    trk2inst =M demo.mod w1 > lead.wav\n"
           "  sN         slot N's sample as stored, as a WAV file          trk2inst =A demo.it s1 > sine.wav\n"
           "  xDIR       every sample as stored into DIR/NN-NAME.wav       trk2inst =A demo.it xsamples\n"
           "  zDIR       what x writes, and each instrument as an SFZ file  trk2inst =A demo.it zkit\n"
           "  fFILE      the instruments as one SoundFont bank (- stdout)  trk2inst =A demo.xm fsong.sf2\n"
           "  i          listing of the module and its samples             trk2inst =A demo.xm i\n"
           "  j          the listing and the instruments as JSON           trk2inst =A demo.xm j\n"
           "  kN         add N semitones to the records that follow        trk2inst =M demo.mod k12 o1 > up.bin\n"
           "  vN         volume scale of the records that follow (256)     trk2inst =M demo.mod v128 o1 > soft.bin\n"
           "\n"
           "trk2inst --help prints this, trk2inst --version the version.\n"
           "The manual: man trk2inst.\n";
}

}  // namespace trk2inst

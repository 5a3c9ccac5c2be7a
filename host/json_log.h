// Saves every request of the run as one JSON object per line (JSON Lines), the
// form a board engineer can diff between runs or load into a notebook.
#pragma once

#include <cstdio>

#include "board_log.h"

namespace zelkhost {

// Writes every request of every phase. Returns false when writing failed.
//   {"n":31,"phase":"...","time_us":1234,"request":"Set","set":"device","id":89,
//    "property":"register","bytes":4,"device":33,"device_name":"decoder","flags":1,
//    "register":136,"register_name":"input switch","value":0,"result":"0x00000000","ok":true}
// Registers and 4-byte payloads give "value"; other payloads "payload" in hex
// ("payload_start", the first 16 bytes, when the log holds only the start); the
// tuner's frequency write gives "divider", "band" and "control".
bool WriteJsonLog(std::FILE* file, const BoardLog& log);

}  // namespace zelkhost

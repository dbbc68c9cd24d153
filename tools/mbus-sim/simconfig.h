#pragma once
#include "simbus.h"

namespace kelvaro::sim {

// Reads a bus file (JSON). Returns false and sets `error` on a bad file.
//
// {"echo": false,
//  "meters": [{"primary": 1, "id": "12345678", "manufacturer": "KEL", "version": 1,
//              "medium": 7, "baud": [2400], "delay": 5,
//              "records": ["0413E8030000", ...],          one telegram
//              "telegrams": [["04..."], ["02..."]],       or several (1F between them)
//              "frame": "68 ...", "frames": [...], "frameFile": "x.hex",   or whole frames
//              "silent": false, "wrongChecksum": false, "garbageBefore": false,
//              "secondTryOnly": false, "unansweredRequests": 0, "late": 0}]}
bool LoadBusFile(const QString& path, SimBus& bus, QString* error);
bool LoadBusJson(const QByteArray& json, const QString& baseDir, SimBus& bus, QString* error);

} // namespace kelvaro::sim

// The keys under which ludarium keeps its state in the state store, once a
// second, and reads it back at start; ludguard mirrors the same records.
// Their texts are what stores already in the field hold: never change them.
#pragma once

// Value "ok": its write time is the main loop's sign of life.
inline constexpr const char* kKeyAlive = "users.getUserGetInstruct(0, 0)";
// The current instruction's JSON.
inline constexpr const char* kKeyInstruction =
    "gInstructionManager.getInstruction().szInstruction.jsonString()";
// The course JSON, "{}" when none.
inline constexpr const char* kKeyCourse = "gBorcastObj.getJSONString()";
// The last instruction id, signed decimal.
inline constexpr const char* kKeyLastId = "gInstructionSet.getLastInstructionId()";

// The four keys in the order the mirror reads them.
inline constexpr const char* kMirrorKeys[4] = {kKeyCourse, kKeyAlive, kKeyInstruction, kKeyLastId};

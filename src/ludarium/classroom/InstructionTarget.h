// Whom an instruction is for: the whole class, some groups of it, or some
// students. Parsed from the target JSON the teacher's client sends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct InstructionTarget {
  std::string type;      // "class", "group" or "user"
  int32_t class_id = -1;
  std::string groups;    // JSON array text of group ids
  std::string users;     // JSON array text of student ids

  InstructionTarget() = default;
  // Reads "type", "class_id", "groups" and "users". Errors go to the console
  // ("exception: <type>"); what was read before them is kept.
  explicit InstructionTarget(const std::string& json);
};

// The integers of a JSON array (or the values of an object), in order. Text
// that is not an object or array gives an empty list and a console line.
std::vector<int32_t> parse_id_list(const std::string& json);

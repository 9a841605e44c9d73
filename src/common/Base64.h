// Standard Base64 (RFC 4648 alphabet "A-Z a-z 0-9 + /", "=" padding, no line
// breaks), as the screen capture's data URLs carry it.
#pragma once

#include <string>

std::string base64_encode(const std::string& bytes);

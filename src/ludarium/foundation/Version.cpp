#include "Version.h"

#include "Util.h"

const char* const kVersionName = "3.1.4";

std::string long_version_text() {
  static const std::string text = replace_all(
      replace_all(std::string(kVersionName) + "_" + __DATE__ + "_" + __TIME__, " ", "_"), ":", ".");
  return text;
}

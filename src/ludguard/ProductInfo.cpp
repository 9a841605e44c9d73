#include "ProductInfo.h"

#include "Util.h"

const char* const kProductFullName = "Ludarium Classroom Guard";
const char* const kProductShortName = "Ludguard";
const char* const kAutostartName = "Ludguard";

std::string buildTag() {
  return replace_all(replace_all(std::string("0.0.1_") + __DATE__ + "_" + __TIME__, " ", "_"), ":",
                     ".");
}

#include "DescriptorLimit.h"

int raise_descriptor_limit(int wanted) { return wanted; }

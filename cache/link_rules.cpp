#include "cache/link_rules.h"

bool IsLinkReparseTag(unsigned long tag) { return tag == 0 || (tag & kNameSurrogateTagBit) != 0; }

bool HasSecondName(unsigned long linkCount) { return linkCount > 1; }

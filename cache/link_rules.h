// What makes a name in the cache tree a link: pure decisions on what the
// platform reports about a file, so they can be tested without one.
#ifndef WYK_CACHE_LINK_RULES_H
#define WYK_CACHE_LINK_RULES_H

// The reparse tag bit that marks a tag whose data names another file or
// folder: symbolic links, junctions, mount points and any later such kind.
const unsigned long kNameSurrogateTagBit = 0x20000000UL;

// Whether a reparse point with this tag is a link. Other tags (deduplicated
// or compressed files, cloud and storage-manager placeholders) hold their own
// data and are judged as the file or folder they are. A tag the platform
// could not give (0, which no reparse point carries) counts as a link: such a
// point cannot be vouched for.
bool IsLinkReparseTag(unsigned long tag);

// Whether a file with this many names has a name besides the one at hand.
// Some network redirectors report 0 for a file on a share: that is no
// second name.
bool HasSecondName(unsigned long linkCount);

#endif

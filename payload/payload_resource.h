// The raw resources the executable carries, and who writes each of them.
#ifndef WYK_PAYLOAD_PAYLOAD_RESOURCE_H
#define WYK_PAYLOAD_PAYLOAD_RESOURCE_H

#include <stddef.h>

enum PayloadWriter {
  kWrittenByMainSequence,
  kWrittenByCabinetThread,
  kWrittenByUpdateService
};

struct PayloadResource {
  const char* typeName;
  unsigned short id;
  unsigned short language;
  const char* targetFileName;
  PayloadWriter writer;
};

// The rows of payload/payload_rows.def, in the order in which a run writes them.
extern const PayloadResource kPayloadResources[];
extern const size_t kPayloadResourceCount;

// The rows that the program looks up by id; the table must hold them.
enum PayloadResourceId {
  kMainPackageId = 101,
  kUpdateServicePackageId = 1119,
  kUpdateServiceCabinetId = 1120
};

const PayloadResource* FindPayloadResource(unsigned short id);

#endif

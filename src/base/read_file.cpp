#include "base/read_file.h"

#include <cstdio>

namespace yulo {

void DescribeReadFailure(ReadFileResult result, uint32_t limit, char* out, size_t capacity) {
  if (capacity == 0) return;
  out[0] = '\0';
  switch (result) {
    case ReadFileResult::Ok:
    case ReadFileResult::CannotOpen:
      break;
    case ReadFileResult::NotRegularFile:
      std::snprintf(out, capacity, "It is not a regular file.");
      break;
    case ReadFileResult::TooLarge:
      if (limit % kMiB == 0)
        std::snprintf(out, capacity, "It is larger than %u MiB, the limit for such a file.",
                      limit / kMiB);
      else
        std::snprintf(out, capacity, "It is larger than %u bytes, the limit for such a file.",
                      limit);
      break;
    case ReadFileResult::ReadFailed:
      std::snprintf(out, capacity, "It could not be read.");
      break;
  }
}

}  // namespace yulo

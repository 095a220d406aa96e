#include "disk/dataset_management.h"

#include <algorithm>

#include "base/bytes.h"
#include "disk/nvme_identify_entry.h"

namespace kestrune::disk {

NvmeEntryBytes DeallocateEntry() {
  constexpr uint32_t kDatasetManagementOpcode = 0x09;
  constexpr uint32_t kNamespace = 1;
  constexpr uint32_t kOneRange = 0;  // number of ranges, 0-based
  constexpr uint32_t kDeallocate = 1u << 2;
  SubmissionDwords d;
  d.cdw[0] = kDatasetManagementOpcode;
  d.cdw[1] = kNamespace;
  d.cdw[10] = kOneRange;
  d.cdw[11] = kDeallocate;
  return EntryBytes(d);
}

void PutDeallocateRange(std::span<uint8_t> page, uint64_t lba, uint32_t sectors) {
  std::fill(page.begin(), page.end(), uint8_t{0});
  if (page.size() < kDsmRangeBytes) return;
  base::PutLe32(page.data(), 0);
  base::PutLe32(page.data() + 4, sectors);
  base::PutLe64(page.data() + 8, lba);
}

}  // namespace kestrune::disk

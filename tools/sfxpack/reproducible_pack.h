// What SOURCE_DATE_EPOCH (the reproducible-builds convention) fixes in a
// payload, so that two packs of one release tree give the same bytes on any
// machine and at any time: every stored time is clamped to the epoch and
// written as UTC, and the permission bits lose what the packing machine's
// umask made of them. The entry order is fixed in any case (by name for a
// directory, the source's order for a ZIP), and nothing of the packing
// user (owner, group, user names) is ever written.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "dos_time.h"

namespace sfxpack {

// The value of SOURCE_DATE_EPOCH: nothing when the variable is unset or
// empty; PackError when it is not a plain decimal count of seconds.
std::optional<std::time_t> parse_source_date_epoch(const std::optional<std::string>& value);

// The DOS time stored for something last modified at `modified`: local time
// without an epoch; with one, the earlier of the two, as UTC.
DosTime stored_time(std::time_t modified, const std::optional<std::time_t>& epoch);

// Permission bits as a release stores them: group and others get the
// owner's read and execute bits, write stays the owner's alone, and the
// set-id and sticky bits go. 0664 and 0600 become 0644, 0775 becomes 0755,
// a read-only 0444 stays read-only.
uint32_t release_permissions(uint32_t permissions);

// Clamps the times of an entry copied from another archive: its DOS time
// and the Unix and NTFS times in one of its extra fields (the extended
// timestamp, the two Unix blocks and the NTFS block). Other blocks and
// malformed ones are left as they are.
uint32_t clamp_dos_time(uint32_t dos_date_time, std::time_t epoch);
void clamp_extra_field_times(std::string& extra, std::time_t epoch);

}  // namespace sfxpack

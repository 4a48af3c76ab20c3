// Portable. The on-disk records of an archive's directory: reading a
// central-directory entry and the variable fields (name, extra field,
// comment) that follow central entries and local headers.
#pragma once

#include <cstdint>

#include "context.h"

// Signatures: "PK" followed by two bytes.
inline constexpr uint8_t SIG_CENTRAL[4] = {'P', 'K', 1, 2};
inline constexpr uint8_t SIG_LOCAL[4] = {'P', 'K', 3, 4};
inline constexpr uint8_t SIG_END[4] = {'P', 'K', 5, 6};

inline constexpr uint32_t CENTRAL_ENTRY_SIZE = 42;  // after the signature
inline constexpr uint32_t LOCAL_HEADER_SIZE = 26;   // after the signature
inline constexpr uint32_t END_RECORD_SIZE = 22;     // with the signature

// What an entry field is, for read_entry_field.
enum class entry_field {
  skip,           // pass over the bytes
  archive_comment,  // show through print, no code-page conversion
  entry_comment,  // show through print in display form, code page by the name rule
  central_name,   // into the name buffer
  local_name,
  extra,          // into the context's extra field
};

bool signature_is(const uint8_t* bytes, const uint8_t (&sig)[4]);

uint16_t get16(const uint8_t* p);
uint32_t get32(const uint8_t* p);

// Decodes the 42 bytes after a central signature (plain fields only).
void decode_central_entry(const uint8_t* bytes, central_entry& entry);

// Reads the 42 bytes after a central signature into ctx.central and sets
// the host fields and flags of *ctx.info. 0 or 51.
int read_central_entry(EngineContext& ctx);

// Reads the 26 bytes after a local signature into ctx.local. 0 or 51.
int read_local_header(EngineContext& ctx);

// Decodes those 26 bytes (LOCAL_HEADER_SIZE) into `l`.
void decode_local_header(const uint8_t* b, local_header& l);

// Reads or skips a field of n bytes. 0, 1 (name truncated, comment cut
// short, extra field too long to hold), 3 (seek failure) or 51 (short read).
int read_entry_field(EngineContext& ctx, uint32_t n, entry_field what);

// True when a name or comment of this entry is stored in the OEM code page
// (never for an entry flagged as UTF-8).
bool stored_in_oem(const entry_info& info, bool central);

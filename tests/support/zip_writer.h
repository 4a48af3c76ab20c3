// Test support: writes a ZIP archive from entries whose data is already in
// its stored form (any method), for feeding other tools and the engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct zip_entry_spec {
  std::string name;
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t crc32 = 0;
  uint32_t uncompressed_size = 0;
  uint16_t dos_time = 0x6000;
  uint16_t dos_date = 0x5821;
  std::vector<uint8_t> data;  // as stored (compressed, encrypted)
};

inline std::vector<uint8_t> zip_archive(const std::vector<zip_entry_spec>& entries) {
  std::vector<uint8_t> out, central;
  auto put16 = [](std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
  };
  auto put32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
  };
  for (const auto& e : entries) {
    uint32_t offset = static_cast<uint32_t>(out.size());
    put32(out, 0x04034b50);
    put16(out, e.method == 6 ? 10 : 20);
    put16(out, e.flags);
    put16(out, e.method);
    put16(out, e.dos_time);
    put16(out, e.dos_date);
    put32(out, e.crc32);
    put32(out, static_cast<uint32_t>(e.data.size()));
    put32(out, e.uncompressed_size);
    put16(out, static_cast<uint32_t>(e.name.size()));
    put16(out, 0);
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), e.data.begin(), e.data.end());

    put32(central, 0x02014b50);
    put16(central, 20);
    put16(central, e.method == 6 ? 10 : 20);
    put16(central, e.flags);
    put16(central, e.method);
    put16(central, e.dos_time);
    put16(central, e.dos_date);
    put32(central, e.crc32);
    put32(central, static_cast<uint32_t>(e.data.size()));
    put32(central, e.uncompressed_size);
    put16(central, static_cast<uint32_t>(e.name.size()));
    put16(central, 0);
    put16(central, 0);
    put16(central, 0);
    put16(central, 0);
    put32(central, 0);
    put32(central, offset);
    central.insert(central.end(), e.name.begin(), e.name.end());
  }
  uint32_t central_offset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), central.begin(), central.end());
  put32(out, 0x06054b50);
  put16(out, 0);
  put16(out, 0);
  put16(out, static_cast<uint32_t>(entries.size()));
  put16(out, static_cast<uint32_t>(entries.size()));
  put32(out, static_cast<uint32_t>(central.size()));
  put32(out, central_offset);
  put16(out, 0);
  return out;
}

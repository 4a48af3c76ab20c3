// Code pages, date order and local time: conversions never write past the
// caller's buffer and cut only between whole characters; UTF-16 round
// trips; a local time converts back to the same instant.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "../../platform/portable/date_order.h"
#include "platform/code_page.h"
#include "platform/file_time.h"
#include "platform/locale_info.h"
#include "platform/local_time.h"

using platform::Error;

TEST(CodePage, BoundedConversionNeverWritesPastBuffer) {
  auto& cp = platform::code_page();
  for (size_t capacity = 0; capacity < 8; ++capacity) {
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    size_t written = 99;
    Error e = cp.oem_to_ansi("abcdef", buf, capacity, written);
    if (capacity == 0) {
      EXPECT_EQ(written, 0u);
    } else {
      EXPECT_LT(written, capacity);
      EXPECT_EQ(buf[written], '\0');
      EXPECT_EQ(std::string(buf, written), std::string("abcdef").substr(0, written));
    }
    EXPECT_EQ(e, capacity >= 7 ? Error::none : Error::name_too_long) << capacity;
    for (size_t k = capacity; k < sizeof buf; ++k) EXPECT_EQ(buf[k], '#') << capacity;

    std::memset(buf, '#', sizeof buf);
    e = cp.ansi_to_oem("abcdef", buf, capacity, written);
    EXPECT_EQ(e, capacity >= 7 ? Error::none : Error::name_too_long) << capacity;
    for (size_t k = capacity; k < sizeof buf; ++k) EXPECT_EQ(buf[k], '#') << capacity;
  }
}

TEST(CodePage, AsciiIsTheSameInEveryCodePage) {
  auto& cp = platform::code_page();
  std::string ascii = "Setup 1.4.2 (c) [x]_~";
  EXPECT_EQ(cp.oem_to_ansi_string(ascii), ascii);
  EXPECT_EQ(cp.ansi_to_oem_string(ascii), ascii);
  std::u16string wide;
  ASSERT_EQ(cp.to_utf16(ascii, platform::CodePageId::oem, wide), Error::none);
  EXPECT_EQ(wide, u"Setup 1.4.2 (c) [x]_~");
  std::string back;
  ASSERT_EQ(cp.from_utf16(wide, platform::CodePageId::ansi, back), Error::none);
  EXPECT_EQ(back, ascii);
  EXPECT_FALSE(cp.is_lead_byte('A'));
}

TEST(CodePage, OemLettersReachUtf16) {
  // 0x81 is u-umlaut and 0x82 e-acute in code page 437, the OEM code page
  // of a US system (and of Wine's default locale).
  auto& cp = platform::code_page();
  std::u16string wide;
  ASSERT_EQ(cp.to_utf16("\x81\x82", platform::CodePageId::oem, wide), Error::none);
  EXPECT_EQ(wide, u"\u00FC\u00E9");
  std::string oem;
  ASSERT_EQ(cp.from_utf16(wide, platform::CodePageId::oem, oem), Error::none);
  EXPECT_EQ(oem, "\x81\x82");
}

TEST(DateOrder, FormatsGiveTheirOrder) {
  EXPECT_EQ(platform::date_order_of_format("%m/%d/%y"), platform::DATE_ORDER_MDY);
  EXPECT_EQ(platform::date_order_of_format("%d.%m.%Y"), platform::DATE_ORDER_DMY);
  EXPECT_EQ(platform::date_order_of_format("%d/%m/%Y"), platform::DATE_ORDER_DMY);
  EXPECT_EQ(platform::date_order_of_format("%Y-%m-%d"), platform::DATE_ORDER_YMD);
  EXPECT_EQ(platform::date_order_of_format("%Y年%m月%d日"), platform::DATE_ORDER_YMD);
  EXPECT_EQ(platform::date_order_of_format("%F"), platform::DATE_ORDER_YMD);
  EXPECT_EQ(platform::date_order_of_format("%D"), platform::DATE_ORDER_MDY);
  EXPECT_EQ(platform::date_order_of_format("%e %B %Y"), platform::DATE_ORDER_DMY);
  EXPECT_EQ(platform::date_order_of_format("%Ey/%m/%d"), platform::DATE_ORDER_YMD);
  // Orders the setting cannot express, incomplete formats and nothing at
  // all fall back to month, day, year.
  EXPECT_EQ(platform::date_order_of_format("%Y-%d-%m"), platform::DATE_ORDER_MDY);
  EXPECT_EQ(platform::date_order_of_format("%d.%m."), platform::DATE_ORDER_MDY);
  EXPECT_EQ(platform::date_order_of_format("%"), platform::DATE_ORDER_MDY);
  EXPECT_EQ(platform::date_order_of_format(nullptr), platform::DATE_ORDER_MDY);
  int order = platform::locale_info().date_order();
  EXPECT_TRUE(order >= 0 && order <= 2) << order;
}

TEST(LocalTime, RoundTripsAndNormalises) {
  auto& lt = platform::local_time();
  for (int64_t t : {int64_t(0) + 86400, int64_t(315532800), int64_t(1000000000), int64_t(1719835200),
                    int64_t(2147483647)}) {
    platform::BrokenDownTime b;
    ASSERT_TRUE(lt.to_local(t, b)) << t;
    EXPECT_GE(b.month, 1);
    EXPECT_LE(b.month, 12);
    EXPECT_GE(b.day_of_week, 0);
    EXPECT_LE(b.day_of_week, 6);
    int64_t back = 0;
    ASSERT_TRUE(lt.from_local(b, back)) << t;
    EXPECT_EQ(back, t);
  }
  // 2001-09-09 is a Sunday wherever one is within a few hours of UTC noon.
  platform::BrokenDownTime b;
  ASSERT_TRUE(lt.to_local(1000036800, b));
  EXPECT_EQ(b.year, 2001);
  EXPECT_EQ(b.day, 9);
  EXPECT_EQ(b.day_of_week, 0);

  // Month 13 of 2023 is January 2024, as mktime has it.
  platform::BrokenDownTime over;
  over.year = 2023, over.month = 13, over.day = 1, over.hour = 12;
  platform::BrokenDownTime jan;
  jan.year = 2024, jan.month = 1, jan.day = 1, jan.hour = 12;
  int64_t a = 0, c = 0;
  ASSERT_TRUE(lt.from_local(over, a));
  ASSERT_TRUE(lt.from_local(jan, c));
  EXPECT_EQ(a, c);
}

TEST(LocalTime, FileTimeToLocalUsesOneOffset) {
  auto& lt = platform::local_time();
  int64_t winter = 0, summer = 0;
  const int64_t jan = (1704067200LL) * 10000000LL + platform::FILETIME_UNIX_EPOCH;
  const int64_t jul = (1719835200LL) * 10000000LL + platform::FILETIME_UNIX_EPOCH;
  ASSERT_TRUE(lt.file_time_to_local(jan, winter));
  ASSERT_TRUE(lt.file_time_to_local(jul, summer));
  // The offset in effect now, whatever the date: the same for both.
  EXPECT_EQ(winter - jan, summer - jul);
  // Whole quarter hours, within a day.
  EXPECT_EQ((winter - jan) % (900LL * 10000000LL), 0);
  EXPECT_LT(std::llabs(winter - jan), 86400LL * 10000000LL);
}

TEST(FileTimeConversion, TicksAndSeconds) {
  using platform::FileTime;
  EXPECT_EQ(platform::file_time_from_ticks(platform::FILETIME_UNIX_EPOCH), (FileTime{0, 0}));
  EXPECT_EQ(platform::file_time_from_ticks(platform::FILETIME_UNIX_EPOCH + 15), (FileTime{0, 1500}));
  // Before 1970: whole seconds toward the past, nanoseconds stay positive.
  EXPECT_EQ(platform::file_time_from_ticks(platform::FILETIME_UNIX_EPOCH - 1), (FileTime{-1, 999999900}));
  EXPECT_EQ(platform::file_time_to_ticks(FileTime{-1, 999999900}), platform::FILETIME_UNIX_EPOCH - 1);
  EXPECT_EQ(platform::file_time_to_ticks(FileTime{1, 0}), platform::FILETIME_UNIX_EPOCH + 10000000);
  EXPECT_EQ(platform::file_time_from_ticks(0).seconds, -11644473600LL);
}

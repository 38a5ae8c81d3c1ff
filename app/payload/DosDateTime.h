#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brindmar {

// The DOS date and time words of the FAT layout. Conversions take the clock reading as it is,
// with no time zone on either side, so that a time read, stored and written back comes out
// unchanged to the 2-second step of the DOS form.
struct DosDateTime {
    uint16_t date = 0; // bits 15-9 year - 1980, 8-5 month, 4-0 day
    uint16_t time = 0; // bits 15-11 hour, 10-5 minute, 4-0 seconds / 2
};

// Seconds since 1970-01-01 UTC to DOS words; outside 1980 to 2107 the form has no words, and
// both come back 0.
DosDateTime toDosDateTime(int64_t seconds);

// nullopt for words that name no real moment (month 0, 31 February, minute 60, ...).
std::optional<int64_t> fromDosDateTime(DosDateTime value);

// The 24-character date field of the payload header: creation date, creation time, last-write
// date, last-write time, each printed as a signed 16-bit decimal, left-aligned in 6 characters
// (so a time from 16:00 on prints negative).
std::string formatDateField(DosDateTime creation, DosDateTime lastWrite);

// The four words back from a date field, each number's value taken modulo 65536; missing or
// garbled numbers give 0.
std::array<uint16_t, 4> parseDateField(std::string_view field);

} // namespace brindmar

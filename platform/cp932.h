// CP932 (Shift-JIS as Windows writes it) text: conversion at the edges (UTF-8,
// and UTF-16LE for .reg files) and byte-limit cuts that never split a
// double-byte character. The one place that calls iconv.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace cp932 {

// True for a byte that starts a double-byte character (0x81-0x9F, 0xE0-0xFC).
inline bool is_lead_byte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// CP932 -> UTF-8. False (out unspecified) when the bytes are not valid CP932.
bool to_utf8(std::string_view cp932, std::string& out);
// CP932 -> UTF-16 into `out`, which has room for cp932.size() units (every
// CP932 character is one UTF-16 unit). Returns the units written; npos when
// the bytes are not valid CP932. The result is iconv's, from a table that
// iconv fills once: a list of every record converts each name.
std::size_t to_utf16(std::string_view cp932, char16_t* out);
// UTF-8 -> CP932. False when a character cannot be written in CP932.
bool from_utf8(std::string_view utf8, std::string& out);
// True when every character of the UTF-8 text can be written in CP932.
bool representable(std::string_view utf8);

// CP932 bytes (which may hold zero bytes) <-> UTF-16LE bytes (no byte order
// mark). False when the input is not valid or the target cannot hold it.
bool to_utf16le(std::string_view cp932, std::string& out);
bool from_utf16le(std::string_view utf16, std::string& out);
// UTF-16LE <-> UTF-8, for text that is not CP932. False on an odd byte count,
// an unpaired surrogate or input that is not UTF-8.
bool utf16le_to_utf8(std::string_view utf16, std::string& out);
bool utf8_to_utf16le(std::string_view utf8, std::string& out);
// True when the bytes are well-formed UTF-8.
bool is_utf8(std::string_view bytes);

// Length of the longest prefix of the zero-terminated CP932 text (reading at
// most max_bytes + 1 bytes) that holds at most max_bytes bytes without ending
// inside a double-byte character.
std::size_t cut_length(const char* text, std::size_t max_bytes);
// Copies src into dst (capacity dst_size >= 1), zero-terminated: exactly when
// it fits in dst_size - 1 bytes, else cut at a character boundary. Returns the
// bytes copied.
std::size_t copy_cut(char* dst, std::size_t dst_size, const char* src);

// The file system name of a CP932 path (UTF-8 on Linux). False when the path
// is not valid CP932.
bool native_path(const char* cp932_path, std::string& out);
// fopen by CP932 path; a file it creates gets mode 0600 (it may hold secrets).
// Opens only a regular file of this user that others cannot write, never
// through a symbolic link: null for anything else.
FILE* fopen_path(const char* cp932_path, const char* mode);

} // namespace cp932

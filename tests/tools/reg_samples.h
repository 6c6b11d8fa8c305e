// .reg files as the Windows registry editor writes them, written out by hand.
#pragma once

#include "platform/cp932.h"

#include <string>

namespace samples {

// A .reg file as the Version 5 registry editor writes it: UTF-16LE with a byte order mark.
inline std::string utf16_file(const std::string& utf8)
{
    std::string utf16;
    cp932::utf8_to_utf16le(utf8, utf16);
    return "\xFF\xFE" + utf16;
}

// The scrambled password "abc" (E9 D9 C9, then FF up to 1024 bytes).
inline std::string password_abc()
{
    return "\xE9\xD9\xC9" + std::string(1021, '\xFF');
}

// The password value in the registry editor's layout: 20 bytes on the first
// line, 25 on every continuation line, 4 on the last.
inline std::string password_lines()
{
    std::string text = "\"kest_passwrd\"=hex:e9,d9,c9,";
    for (int i = 0; i < 17; ++i)
        text += "ff,";
    text += "\\\r\n";
    for (int line = 0; line < 40; ++line) {
        text += "  ";
        for (int i = 0; i < 25; ++i)
            text += "ff,";
        text += "\\\r\n";
    }
    return text + "  ff,ff,ff,ff\r\n";
}

// A Version 5.00 export from a 64-bit machine, as UTF-8 text (utf16_file
// encodes it as the registry editor does).
inline std::string windows_export()
{
    return "Windows Registry Editor Version 5.00\r\n"
           "\r\n"
           "; moved from the office machine\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\qelt_key_yoyaku]\r\n"
           "@=\"既定\"\r\n"
           "\"kest_datafile\"=\"C:\\\\Users\\\\太郎\\\\記録.dat\"\r\n"
           "\"kest_kindcsl\"=\"3\"\r\n"
           "\"quoted\"=\"say \\\"hi\\\"\"\r\n"
           "\"log_type\"=dword:0000002a\r\n" +
           password_lines() +
           "\"expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,e5,65,2c,67,00,00\r\n"
           "\"old\"=-\r\n"
           "\r\n"
           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\qelt_key_yoyaku\\obsolete]\r\n"
           "\r\n";
}

} // namespace samples

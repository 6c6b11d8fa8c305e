// The configuration store: AppConfig in the registry key
// SOFTWARE\qelt_key_yoyaku under HKEY_LOCAL_MACHINE. All return 0, or -1 on
// failure.
#pragma once

// Fills g_app_config from the registry; -1 when the configuration is missing or bad.
int sub_load_config();
// Writes g_app_config to the registry; stops at the first failed write.
int sub_save_config();
// Reads one value of the key into a cleared buffer of `size` bytes.
int sub_reg_read_ex(const char* value_name, char* buffer, int size);
// Stores exactly `size` bytes as a REG_BINARY value of the key.
int sub_reg_write_ex(const char* value_name, const char* data, int size);

// The key that holds the configuration.
inline constexpr const char* CONFIG_KEY = "SOFTWARE\\qelt_key_yoyaku";

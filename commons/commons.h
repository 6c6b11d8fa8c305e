/* commons: the shared services of kestrel - log files, registry access and
 * small utilities. Every string and buffer belongs to the caller; nothing is
 * allocated across this boundary. Text is CP932. */
#ifndef KESTREL_COMMONS_H
#define KESTREL_COMMONS_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define COMMONS_API __attribute__((visibility("default")))
#define COMMONS_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define COMMONS_API
#define COMMONS_PRINTF(fmt, args)
#endif

/* Log facility. level: 0 = error record ("ERROR"), anything else = normal
 * record ("NORML"). All return 0. */
COMMONS_API int logput(int level, const char* source, int line, const char* format, ...) COMMONS_PRINTF(4, 5);
COMMONS_API int logputd(int level, const char* source, int line, const char* format, ...) COMMONS_PRINTF(4, 5);
COMMONS_API int logdmp(int level, const char* source, int line, const unsigned char* data, int last_index,
                       const char* format, ...) COMMONS_PRINTF(6, 7);
COMMONS_API int vb_logdmp(int level, const char* source, int line, const unsigned char* data, int last_index,
                          const char* format, ...) COMMONS_PRINTF(6, 7);
COMMONS_API int vb_logput(int level, const char* source, int line, const char* text);
COMMONS_API int log_name(const char* suffix);

/* Registry access under HKEY_LOCAL_MACHINE. 0 on success, -1 on failure. */
COMMONS_API int sub_regread(const char* value_name, char* buffer, unsigned capacity);
COMMONS_API int sub_regwrite(const char* value_name, const char* text);
COMMONS_API int sub_regremove(const char* value_name);
COMMONS_API int sub_regread_ex(const char* subkey, const char* value_name, char* buffer, unsigned capacity);
COMMONS_API int sub_regwrite_ex(const char* subkey, const char* value_name, const char* text);
COMMONS_API int sub_regremove_ex(const char* subkey, const char* value_name);

/* Small utilities. */
COMMONS_API int sub_bitload(const unsigned char* byte, int end, int count);
COMMONS_API int sub_bit_dmp(const unsigned char* byte, int end, int count, char* output);
COMMONS_API int sub_get_password(const char* prompt, char* output, unsigned capacity);
COMMONS_API int sub_reboot_system(void);
COMMONS_API int sub_reboot_system_ex(void);
COMMONS_API int sub_timecmp(const int* first, const int* second);

#ifdef __cplusplus
}
#endif

#endif /* KESTREL_COMMONS_H */

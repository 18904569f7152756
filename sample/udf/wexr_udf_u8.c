/* WEXR_UDF_u8.dll: the server function library of Marlix 3.2, external
   functions over UTF-8 texts that the database declares in script.sql:

     DECLARE EXTERNAL FUNCTION WEXR_UPPER_U8
       CSTRING(400) CHARACTER SET UTF8, CSTRING(400) CHARACTER SET UTF8
       RETURNS PARAMETER 2 ENTRY_POINT 'wexr_upper_u8' MODULE_NAME 'wexr_udf_u8.dll';

   The server calls them with the C calling convention and its own buffers:
   every result is written into the buffer of the last parameter, which is
   at least as long as the text given (no result is longer than its
   argument), so the library allocates nothing. On Windows it is a DLL; for
   a Linux server it is a shared object under the very same file name, which
   the server loads from its udf folder. */

#include <string.h>

#if defined(_WIN32)
#define WEXR_EXPORT __declspec(dllexport)
#else
#define WEXR_EXPORT __attribute__((visibility("default")))
#endif

/* The library's version: a view that uses it shows which one is installed. */
#define WEXR_UDF_VERSION 32

WEXR_EXPORT int wexr_udf_version(void) { return WEXR_UDF_VERSION; }

/* Upper case of a UTF-8 text: the Latin letters a-z and the Cyrillic
   letters а-я and ё; every other byte is copied as it is. */
WEXR_EXPORT void wexr_upper_u8(const char* text, char* result) {
  const unsigned char* in = (const unsigned char*)text;
  unsigned char* out = (unsigned char*)result;
  while (*in != 0) {
    if (*in >= 'a' && *in <= 'z') {
      *out++ = (unsigned char)(*in++ - 'a' + 'A');
    } else if (in[0] == 0xD0 && in[1] >= 0xB0 && in[1] <= 0xBF) {
      /* U+0430..U+043F (а..п) to U+0410..U+041F */
      *out++ = 0xD0;
      *out++ = (unsigned char)(in[1] - 0x20);
      in += 2;
    } else if (in[0] == 0xD1 && in[1] >= 0x80 && in[1] <= 0x8F) {
      /* U+0440..U+044F (р..я) to U+0420..U+042F */
      *out++ = 0xD0;
      *out++ = (unsigned char)(in[1] + 0x20);
      in += 2;
    } else if (in[0] == 0xD1 && in[1] == 0x91) {
      /* U+0451 (ё) to U+0401 */
      *out++ = 0xD0;
      *out++ = 0x81;
      in += 2;
    } else {
      *out++ = *in++;
    }
  }
  *out = 0;
}

/* The text without blanks, tabs and line breaks at either end. */
WEXR_EXPORT void wexr_trim_u8(const char* text, char* result) {
  size_t start = 0, end = strlen(text);
  while (start < end && strchr(" \t\r\n", text[start]) != NULL) ++start;
  while (end > start && strchr(" \t\r\n", text[end - 1]) != NULL) --end;
  memmove(result, text + start, end - start);
  result[end - start] = 0;
}

/* fbclient.dll of the Windows build's tests under Wine: the classic Firebird
   client API of the native client library (libfbclient.so.2), offered to
   Windows programs.

   A Winelib module (built with winegcc): its exports are entered with the
   Windows x64 calling convention and call the native functions with the
   System V one. It is a test fixture; the shipped updater carries the
   vendor's own Windows client library.

   Only the entry points that the updater and the script engine look up are
   exported (fbclient_bridge.exports); all of them take plain pointers, integers
   and structures whose layouts are the same on both sides (handles and
   ISC_LONG are 4 bytes, ISC_STATUS and pointers 8, XSQLDA, XSQLVAR and
   ISC_QUAD identical). None of them takes a struct tm (36 bytes on Windows,
   56 in glibc), variable arguments or a callback. A new entry point of that
   kind needs a conversion here, not a plain forward.

   What does differ is the code page of file names: a Windows client takes
   them in the ANSI code page (Windows-1251 here), the native client under a
   UTF-8 locale takes UTF-8 and refuses other bytes. The database names of
   isc_attach_database and isc_service_attach, and the database name that
   follows the action of isc_service_start, are converted to UTF-8 on the
   way in, the texts of fb_interpret back to the ANSI code page on the way
   out, as a Windows client gives them. SQL texts and data are the
   connection character set's bytes on both sides and pass unchanged. The
   native client reads file names in its locale's character set, and a Wine
   process runs in the "C" locale: every native call runs in a UTF-8 locale
   of its thread's own (uselocale), so that Wine's locale stays untouched.

   The native library is opened on first use, by the name in the environment
   variable UPDATER_NATIVE_FBCLIENT (the tests' way to make it missing), else
   "libfbclient.so.2". When it cannot be opened, or lacks a function, every
   call fails with a status vector of its own (isc_random with the reason as
   its text), which fb_interpret of this module reads back. */

#include <dlfcn.h>
#include <locale.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

/* winegcc predefines the Windows macros, and with them ibase.h would declare
   the native functions __stdcall, i.e. the Windows convention: calls through
   the native pointers would then pass their arguments in the wrong
   registers, and fail without a word (an attach "succeeds" and returns no
   handle). The native declarations are wanted here. */
#undef WIN32
#undef _WIN32
#undef __WIN32
#undef __WIN32__

#include <ibase.h>

#define BRIDGE_API __attribute__((ms_abi))

static pthread_once_t native_once = PTHREAD_ONCE_INIT;
static void* native_library;
static locale_t native_locale;
/* Why the native library is missing; kept for the status vectors that point
   to it. */
static char native_failure[512];

static void OpenNative(void) {
  const char* name = getenv("UPDATER_NATIVE_FBCLIENT");
  native_locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
  if (name == NULL || *name == '\0') name = "libfbclient.so.2";
  native_library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (native_library == NULL) {
    const char* reason = dlerror();
    snprintf(native_failure, sizeof native_failure,
             "fbclient.dll (the test bridge) cannot load the native client library %s: %s", name,
             reason != NULL ? reason : "no reason given");
  }
}

/* The native function `name`, or NULL when the library or the function is
   missing. */
static void* Native(const char* name) {
  pthread_once(&native_once, OpenNative);
  if (native_library == NULL) return NULL;
  return dlsym(native_library, name);
}

/* Switches the calling thread to the native client's locale; returns the
   locale to go back to with LeaveNative. */
static locale_t EnterNative(void) {
  return native_locale != (locale_t)0 ? uselocale(native_locale) : (locale_t)0;
}

static void LeaveNative(locale_t previous) {
  if (previous != (locale_t)0) uselocale(previous);
}

/* Fills `status` for a call that could not reach the native function `name`
   and returns the error code, as a failed call of the client does. The text
   of a missing function is written into `missing`, the calling function's
   own buffer, which the status vector may point to for as long as the
   module lives. */
static ISC_STATUS Unreachable(ISC_STATUS* status, const char* name, char* missing,
                              size_t missing_size) {
  const char* text = native_failure;
  if (native_library != NULL) {
    snprintf(missing, missing_size,
             "fbclient.dll (the test bridge): the native client library lacks %s", name);
    text = missing;
  }
  if (status != NULL) {
    status[0] = isc_arg_gds;
    status[1] = isc_random;
    status[2] = isc_arg_string;
    status[3] = (ISC_STATUS)text;
    status[4] = isc_arg_end;
  }
  return isc_random;
}

/* `text` (`length` bytes, or up to its NUL when `length` is 0) converted
   from code page `from` to code page `to`, in a buffer of the caller's to
   free; NULL when it has no such form (the caller then passes the bytes as
   they are). */
static char* Recoded(const char* text, size_t length, UINT from, UINT to) {
  WCHAR* wide;
  char* result;
  int wide_length;
  int result_length;
  if (length == 0) length = strlen(text);
  wide_length = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text, (int)length, NULL, 0);
  if (wide_length <= 0) return NULL;
  wide = malloc(sizeof(WCHAR) * (size_t)wide_length);
  if (wide == NULL) return NULL;
  MultiByteToWideChar(from, 0, text, (int)length, wide, wide_length);
  result_length = WideCharToMultiByte(to, 0, wide, wide_length, NULL, 0, NULL, NULL);
  result = result_length > 0 ? malloc((size_t)result_length + 1) : NULL;
  if (result != NULL) {
    WideCharToMultiByte(to, 0, wide, wide_length, result, result_length, NULL, NULL);
    result[result_length] = '\0';
  }
  free(wide);
  return result;
}

static int Plain(const char* text, size_t length) {
  size_t i;
  if (length == 0) length = strlen(text);
  for (i = 0; i < length; ++i) {
    if ((unsigned char)text[i] >= 0x80) return 0;
  }
  return 1;
}

/* A file name of the Windows program in UTF-8, for the native client; NULL
   when it is plain ASCII or has no UTF-8 form (it then goes as it is). */
static char* NativeName(const char* name, size_t length) {
  if (name == NULL || Plain(name, length)) return NULL;
  return Recoded(name, length, CP_ACP, CP_UTF8);
}

/* One exported function returning ISC_STATUS whose first parameter is the
   status vector `status`: PARAMS is its parameter list, ARGS the names.
   PREPARE runs before the native call: it may point arguments at a
   converted copy kept in `converted`, which is freed after the call. */
#define FORWARD_PREPARED(name, PARAMS, ARGS, PREPARE)                               \
  ISC_STATUS BRIDGE_API bridge_##name PARAMS {                                      \
    typedef ISC_STATUS(*Native_##name) PARAMS;                                      \
    Native_##name native = (Native_##name)Native(#name);                            \
    static char missing[128];                                                       \
    char* converted = NULL;                                                         \
    locale_t previous;                                                              \
    ISC_STATUS result;                                                              \
    if (native == NULL) return Unreachable(status, #name, missing, sizeof missing); \
    PREPARE;                                                                        \
    previous = EnterNative();                                                       \
    result = native ARGS;                                                           \
    LeaveNative(previous);                                                          \
    free(converted);                                                                \
    return result;                                                                  \
  }
#define FORWARD(name, PARAMS, ARGS) FORWARD_PREPARED(name, PARAMS, ARGS, (void)0)

/* PREPARE of a function whose file name NAME has the length LENGTH (0: up to
   its NUL): the name in UTF-8. */
#define NAME_IN_UTF8(NAME, LENGTH)                               \
  converted = NativeName(NAME, LENGTH > 0 ? (size_t)LENGTH : 0); \
  if (converted != NULL) {                                       \
    NAME = converted;                                            \
    LENGTH = 0;                                                  \
  }

FORWARD_PREPARED(isc_attach_database,
                 (ISC_STATUS * status, short length, const ISC_SCHAR* name, isc_db_handle* db,
                  short dpb_length, const ISC_SCHAR* dpb),
                 (status, length, name, db, dpb_length, dpb), NAME_IN_UTF8(name, length))
FORWARD(isc_detach_database, (ISC_STATUS * status, isc_db_handle* db), (status, db))
FORWARD(isc_drop_database, (ISC_STATUS * status, isc_db_handle* db), (status, db))
FORWARD(isc_database_info,
        (ISC_STATUS * status, isc_db_handle* db, short item_length, const ISC_SCHAR* items,
         short buffer_length, ISC_SCHAR* buffer),
        (status, db, item_length, items, buffer_length, buffer))

FORWARD_PREPARED(isc_service_attach,
                 (ISC_STATUS * status, unsigned short length, const ISC_SCHAR* name,
                  isc_svc_handle* service, unsigned short spb_length, const ISC_SCHAR* spb),
                 (status, length, name, service, spb_length, spb), NAME_IN_UTF8(name, length))
FORWARD(isc_service_detach, (ISC_STATUS * status, isc_svc_handle* service), (status, service))

/* The request block of isc_service_start with its database name in UTF-8,
   in a buffer of the caller's to free (its length in `new_length`); NULL
   when there is nothing to convert. Only a name right after the action is
   looked at: the updater's requests put it there, as most clients do. */
static char* NativeRequest(const ISC_SCHAR* spb, unsigned short length,
                           unsigned short* new_length) {
  size_t name_length;
  size_t converted_length;
  char* converted;
  char* request;
  if (spb == NULL || length < 4 || (unsigned char)spb[1] != isc_spb_dbname) return NULL;
  name_length = (unsigned char)spb[2] | ((size_t)(unsigned char)spb[3] << 8);
  if (name_length == 0 || 4 + name_length > length) return NULL;
  converted = NativeName(spb + 4, name_length);
  if (converted == NULL) return NULL;
  converted_length = strlen(converted);
  if (length - name_length + converted_length > 0xFFFF) {
    free(converted);
    return NULL;
  }
  request = malloc(length - name_length + converted_length);
  if (request != NULL) {
    request[0] = spb[0];
    request[1] = spb[1];
    request[2] = (char)(converted_length & 0xFF);
    request[3] = (char)(converted_length >> 8);
    memcpy(request + 4, converted, converted_length);
    memcpy(request + 4 + converted_length, spb + 4 + name_length, length - 4 - name_length);
    *new_length = (unsigned short)(length - name_length + converted_length);
  }
  free(converted);
  return request;
}

FORWARD_PREPARED(isc_service_start,
                 (ISC_STATUS * status, isc_svc_handle* service, isc_resv_handle* reserved,
                  unsigned short spb_length, const ISC_SCHAR* spb),
                 (status, service, reserved, spb_length, spb),
                 converted = NativeRequest(spb, spb_length, &spb_length);
                 if (converted != NULL) spb = converted)

FORWARD(isc_service_query,
        (ISC_STATUS * status, isc_svc_handle* service, isc_resv_handle* reserved,
         unsigned short send_length, const ISC_SCHAR* send, unsigned short request_length,
         const ISC_SCHAR* request, unsigned short buffer_length, ISC_SCHAR* buffer),
        (status, service, reserved, send_length, send, request_length, request, buffer_length,
         buffer))

/* The transaction entries (a pointer, an int and a pointer each) have the
   same layout on both sides. */
FORWARD(isc_start_multiple,
        (ISC_STATUS * status, isc_tr_handle* transaction, short count, void* entries),
        (status, transaction, count, entries))
FORWARD(isc_commit_transaction, (ISC_STATUS * status, isc_tr_handle* transaction),
        (status, transaction))
FORWARD(isc_commit_retaining, (ISC_STATUS * status, isc_tr_handle* transaction),
        (status, transaction))
FORWARD(isc_rollback_transaction, (ISC_STATUS * status, isc_tr_handle* transaction),
        (status, transaction))
FORWARD(isc_rollback_retaining, (ISC_STATUS * status, isc_tr_handle* transaction),
        (status, transaction))
FORWARD(isc_prepare_transaction, (ISC_STATUS * status, isc_tr_handle* transaction),
        (status, transaction))

FORWARD(isc_dsql_allocate_statement,
        (ISC_STATUS * status, isc_db_handle* db, isc_stmt_handle* statement),
        (status, db, statement))
FORWARD(isc_dsql_prepare,
        (ISC_STATUS * status, isc_tr_handle* transaction, isc_stmt_handle* statement,
         unsigned short length, const ISC_SCHAR* text, unsigned short dialect, XSQLDA* sqlda),
        (status, transaction, statement, length, text, dialect, sqlda))
FORWARD(isc_dsql_describe,
        (ISC_STATUS * status, isc_stmt_handle* statement, unsigned short version, XSQLDA* sqlda),
        (status, statement, version, sqlda))
FORWARD(isc_dsql_describe_bind,
        (ISC_STATUS * status, isc_stmt_handle* statement, unsigned short version, XSQLDA* sqlda),
        (status, statement, version, sqlda))
FORWARD(isc_dsql_execute,
        (ISC_STATUS * status, isc_tr_handle* transaction, isc_stmt_handle* statement,
         unsigned short version, const XSQLDA* sqlda),
        (status, transaction, statement, version, sqlda))
FORWARD(isc_dsql_execute2,
        (ISC_STATUS * status, isc_tr_handle* transaction, isc_stmt_handle* statement,
         unsigned short version, const XSQLDA* in, const XSQLDA* out),
        (status, transaction, statement, version, in, out))
FORWARD(isc_dsql_execute_immediate,
        (ISC_STATUS * status, isc_db_handle* db, isc_tr_handle* transaction, unsigned short length,
         const ISC_SCHAR* text, unsigned short dialect, const XSQLDA* sqlda),
        (status, db, transaction, length, text, dialect, sqlda))
FORWARD(isc_dsql_fetch,
        (ISC_STATUS * status, isc_stmt_handle* statement, unsigned short version,
         const XSQLDA* sqlda),
        (status, statement, version, sqlda))
FORWARD(isc_dsql_free_statement,
        (ISC_STATUS * status, isc_stmt_handle* statement, unsigned short option),
        (status, statement, option))
FORWARD(isc_dsql_sql_info,
        (ISC_STATUS * status, isc_stmt_handle* statement, short item_length, const ISC_SCHAR* items,
         short buffer_length, ISC_SCHAR* buffer),
        (status, statement, item_length, items, buffer_length, buffer))

FORWARD(isc_create_blob2,
        (ISC_STATUS * status, isc_db_handle* db, isc_tr_handle* transaction, isc_blob_handle* blob,
         ISC_QUAD* id, short bpb_length, const ISC_SCHAR* bpb),
        (status, db, transaction, blob, id, bpb_length, bpb))
FORWARD(isc_open_blob2,
        (ISC_STATUS * status, isc_db_handle* db, isc_tr_handle* transaction, isc_blob_handle* blob,
         ISC_QUAD* id, ISC_USHORT bpb_length, const ISC_UCHAR* bpb),
        (status, db, transaction, blob, id, bpb_length, bpb))
FORWARD(isc_get_segment,
        (ISC_STATUS * status, isc_blob_handle* blob, unsigned short* length,
         unsigned short buffer_length, ISC_SCHAR* buffer),
        (status, blob, length, buffer_length, buffer))
FORWARD(isc_put_segment,
        (ISC_STATUS * status, isc_blob_handle* blob, unsigned short length,
         const ISC_SCHAR* buffer),
        (status, blob, length, buffer))
FORWARD(isc_close_blob, (ISC_STATUS * status, isc_blob_handle* blob), (status, blob))
FORWARD(isc_cancel_blob, (ISC_STATUS * status, isc_blob_handle* blob), (status, blob))
FORWARD(isc_blob_info,
        (ISC_STATUS * status, isc_blob_handle* blob, short item_length, const ISC_SCHAR* items,
         short buffer_length, ISC_SCHAR* buffer),
        (status, blob, item_length, items, buffer_length, buffer))

FORWARD(isc_compile_request2,
        (ISC_STATUS * status, isc_db_handle* db, isc_req_handle* request, short blr_length,
         const ISC_SCHAR* blr),
        (status, db, request, blr_length, blr))
FORWARD(isc_start_and_send,
        (ISC_STATUS * status, isc_req_handle* request, isc_tr_handle* transaction,
         short message_type, short message_length, const void* message, short level),
        (status, request, transaction, message_type, message_length, message, level))
FORWARD(isc_release_request, (ISC_STATUS * status, isc_req_handle* request), (status, request))

/* The texts of a status vector, in the ANSI code page. Vectors of this
   module (isc_random with its text) are read here when the native library
   is missing; every other vector comes from the native library and goes
   back to it. */
ISC_LONG BRIDGE_API bridge_fb_interpret(ISC_SCHAR* buffer, unsigned int size,
                                        const ISC_STATUS** vector) {
  typedef ISC_LONG (*NativeInterpret)(ISC_SCHAR*, unsigned int, const ISC_STATUS**);
  NativeInterpret native = (NativeInterpret)Native("fb_interpret");
  const ISC_STATUS* cursor = *vector;
  ISC_LONG length;
  char* ansi;
  if (size == 0) return 0;
  if (native != NULL) {
    const locale_t previous = EnterNative();
    length = native(buffer, size, vector);
    LeaveNative(previous);
  } else {
    if (cursor[0] != isc_arg_gds || cursor[1] != isc_random || cursor[2] != isc_arg_string) {
      return 0;
    }
    snprintf(buffer, size, "%s", (const char*)cursor[3]);
    length = (ISC_LONG)strlen(buffer);
    *vector = cursor + 4;
  }
  if (length <= 0 || Plain(buffer, (size_t)length)) return length;
  ansi = Recoded(buffer, (size_t)length, CP_UTF8, CP_ACP);
  if (ansi != NULL) {
    snprintf(buffer, size, "%s", ansi);
    length = (ISC_LONG)strlen(buffer);
    free(ansi);
  }
  return length;
}

/* The SQL code of a status vector; -901 (an error of no particular kind) for
   this module's own vectors. */
ISC_LONG BRIDGE_API bridge_isc_sqlcode(const ISC_STATUS* status) {
  typedef ISC_LONG (*NativeSqlcode)(const ISC_STATUS*);
  NativeSqlcode native = (NativeSqlcode)Native("isc_sqlcode");
  return native != NULL ? native(status) : -901;
}

/* The integers of information buffers. Without the native library no
   buffer was ever filled, and 0 is as good as any. */
ISC_LONG BRIDGE_API bridge_isc_vax_integer(const ISC_SCHAR* bytes, short length) {
  typedef ISC_LONG (*NativeVax)(const ISC_SCHAR*, short);
  NativeVax native = (NativeVax)Native("isc_vax_integer");
  return native != NULL ? native(bytes, length) : 0;
}

ISC_INT64 BRIDGE_API bridge_isc_portable_integer(const ISC_UCHAR* bytes, short length) {
  typedef ISC_INT64 (*NativePortable)(const ISC_UCHAR*, short);
  NativePortable native = (NativePortable)Native("isc_portable_integer");
  return native != NULL ? native(bytes, length) : 0;
}

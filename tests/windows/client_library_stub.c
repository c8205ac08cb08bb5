/* A stand-in for the database client library (gds32.dll) with every entry point the plug-in
 * binds: it lets a worker start under wine, where no real client exists. Every call fails as
 * "unavailable database", so commands are answered with the failure reply. Built with
 * -Wno-unused-parameter: the parameters are only there to match ibase.h. */
#include <ibase.h>
#include <string.h>

#define STUB_EXPORT __declspec(dllexport)
/* Defines `name` with the parameters `params` (the status vector named s) as a failing call. */
#define FAILING(name, params)                     \
  STUB_EXPORT ISC_STATUS ISC_EXPORT name params { \
    return Fail(s);                               \
  }

static ISC_STATUS Fail(ISC_STATUS* status) {
  status[0] = isc_arg_gds;
  status[1] = isc_unavailable;
  status[2] = isc_arg_end;
  return status[1];
}

FAILING(isc_attach_database, (ISC_STATUS * s, short a, const ISC_SCHAR* b, isc_db_handle* c,
                              short d, const ISC_SCHAR* e))
FAILING(isc_detach_database, (ISC_STATUS * s, isc_db_handle* a))
FAILING(isc_database_info,
        (ISC_STATUS * s, isc_db_handle* a, short b, const ISC_SCHAR* c, short d, ISC_SCHAR* e))
FAILING(isc_start_multiple, (ISC_STATUS * s, isc_tr_handle* a, short b, void* c))
FAILING(isc_commit_transaction, (ISC_STATUS * s, isc_tr_handle* a))
FAILING(isc_rollback_transaction, (ISC_STATUS * s, isc_tr_handle* a))
FAILING(isc_dsql_allocate_statement, (ISC_STATUS * s, isc_db_handle* a, isc_stmt_handle* b))
FAILING(isc_dsql_prepare, (ISC_STATUS * s, isc_tr_handle* a, isc_stmt_handle* b, unsigned short c,
                           const ISC_SCHAR* d, unsigned short e, XSQLDA* f))
FAILING(isc_dsql_describe, (ISC_STATUS * s, isc_stmt_handle* a, unsigned short b, XSQLDA* c))
FAILING(isc_dsql_describe_bind, (ISC_STATUS * s, isc_stmt_handle* a, unsigned short b, XSQLDA* c))
FAILING(isc_dsql_execute,
        (ISC_STATUS * s, isc_tr_handle* a, isc_stmt_handle* b, unsigned short c, const XSQLDA* d))
FAILING(isc_dsql_fetch, (ISC_STATUS * s, isc_stmt_handle* a, unsigned short b, const XSQLDA* c))
FAILING(isc_dsql_free_statement, (ISC_STATUS * s, isc_stmt_handle* a, unsigned short b))
FAILING(isc_open_blob2, (ISC_STATUS * s, isc_db_handle* a, isc_tr_handle* b, isc_blob_handle* c,
                         ISC_QUAD* d, ISC_USHORT e, const ISC_UCHAR* f))
FAILING(isc_get_segment,
        (ISC_STATUS * s, isc_blob_handle* a, unsigned short* b, unsigned short c, ISC_SCHAR* d))
FAILING(isc_close_blob, (ISC_STATUS * s, isc_blob_handle* a))

STUB_EXPORT ISC_LONG ISC_EXPORT fb_interpret(ISC_SCHAR* buffer, unsigned int size,
                                             const ISC_STATUS** vector) {
  static const char kText[] = "database unavailable (client library stub)";
  if (**vector == isc_arg_end || size <= sizeof kText) return 0;
  memcpy(buffer, kText, sizeof kText);
  *vector += 2; /* one message per status vector */
  return (ISC_LONG)(sizeof kText - 1);
}

// The answer to sp_sproc_columns, the catalogue procedure behind ODBC SQLProcedureColumns: one
// row per parameter of each matching procedure, "@RETURN_VALUE" first, in SQL Server's
// 20-column layout.
#pragma once

#include <map>
#include <string>

#include "tests/support/tds/ScriptBook.h"
#include "tests/support/tds/ServerErrorException.h"

namespace quor::test::tds {

// Arguments by lower-case name without "@": procedure_name, procedure_owner,
// procedure_qualifier, column_name, odbcver. Throws ServerErrorException for a qualifier that
// is not the current database, as SQL Server does.
Reply ProcedureColumnsReply(const ScriptBook& book, const std::string& database,
                            const std::map<std::string, Value>& args);

}  // namespace quor::test::tds

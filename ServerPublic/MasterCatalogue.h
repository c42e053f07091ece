// The catalogue of account sets in SQL Server's master database: the catalogue
// table of the current trade, QuorLoginUser, UploadAppServer and the procedures
// that list (P_QueryDataBase) and delete (P_DeleteDataBase) account sets.
// Clients ask for them to be created or upgraded in place before they use them.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/sql/Statement.h"

namespace quor {

// Runs the creation, upgrade and migration batches one after another on the
// caller's statement component (its own connection and current database); the
// first batch that fails raises its error and the rest do not run. The
// catalogue table is CatalogTableName() or the one given.
void EnsureMasterCatalogue(sql::Statement& statement);
void EnsureMasterCatalogue(sql::Statement& statement, const std::string& catalogTableName);

// Drops P_DeleteDataBase when it exists and creates it again for the catalogue
// table, since the table's name is part of its text.
void RebuildDeleteProcedure(sql::Statement& statement);
void RebuildDeleteProcedure(sql::Statement& statement, const std::string& catalogTableName);

// Raised before any batch runs when the catalogue table's name is not
// "ValtoDataBase" followed by a trade code of ASCII letters, digits and "_":
// the trade code comes from a client (ConnectDb) and ends up in SQL text.
class CatalogueNameError : public std::invalid_argument {
 public:
  explicit CatalogueNameError(const std::string& tableName);
};

}  // namespace quor

// The SQL Server queries whose rows make up the phone's download file, one per
// table fill. Ids read from the account set are embedded as quoted literals;
// dates reach here only after IsCalendarDate accepted them.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quor::mobile {

// (table, query) in the order the tables are filled.
using TableQueries = std::vector<std::pair<std::string, std::string>>;

std::string PersonLookupQuery(std::string_view personIndex);
// The persons of the root person "00000" (everybody, passwords included).
std::string AllPersonsQuery();
// The basic data a person sees: person id `personId`, company id `companyId`.
TableQueries BasicDataQueries(std::string_view personId, std::string_view companyId);
// Company name, telephone and address rows (SubName, SubValue).
std::string CompanyValuesQuery();
std::string RightsQuery();
// The goods, money and store-order bill lines dated from `begin` to `end`.
// Line ids are computed as bigint: BillID x 300000000 passes int's range from
// the eighth bill on.
TableQueries BillLineQueries(std::string_view begin, std::string_view end);

}  // namespace quor::mobile

#pragma once

#include "reports/report_generator.h"

struct InventorySession;
struct ReportSettings;

// The insurance details as the settings keep them.
InsuranceValues insuranceValues(const ReportSettings& settings);

// What a report reads of the open database: its item table in the current order (and search,
// when one is on), the sort levels, the field display names, the formats and the insurance
// details.
ReportSource reportSource(InventorySession& session);

#pragma once

namespace korvane {

// Makes Qt use Korvane's own interfaces for the popup's painted views (the result list, the browser,
// the quick reference, the detail column and the search header), so that assistive technology reads
// what they paint. Idempotent.
void installPopupAccessibleFactory();

} // namespace korvane

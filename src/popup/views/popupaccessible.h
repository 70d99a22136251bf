#pragma once

namespace korvane {

// Makes Qt use Korvane's own interfaces for the popup's painted views (the result list, the browser,
// the quick reference and the detail column), so that assistive technology reads the rows they
// paint. Idempotent.
void installPopupAccessibleFactory();

} // namespace korvane

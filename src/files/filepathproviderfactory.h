#pragma once

#include "config/providerfactories.h"

namespace korvane {

// Installs the shared file path provider as the factory of the file paths' live scope. The
// configuration library cannot name this library, so the application installs it; main thread.
void installFilePathProviderFactory(ProviderFactories& factories);

} // namespace korvane

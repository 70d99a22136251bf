#pragma once

#include "config/providerfactories.h"

#include <memory>

namespace korvane {

class FilePathProvider;

// Installs `provider` (the composition root's one) as the factory of the file paths' live scope. The
// configuration library cannot name this library, so the application installs it; main thread.
void installFilePathProviderFactory(ProviderFactories& factories, std::shared_ptr<FilePathProvider> provider);

} // namespace korvane

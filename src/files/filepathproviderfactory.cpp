#include "files/filepathproviderfactory.h"

#include "files/filepathprovider.h"

namespace korvane {

void installFilePathProviderFactory(ProviderFactories& factories) {
    factories.filePaths = [] { return std::shared_ptr<LiveScopeProvider>(FilePathProvider::sharedPointer()); };
}

} // namespace korvane

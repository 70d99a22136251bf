#include "files/filepathproviderfactory.h"

#include "files/filepathprovider.h"

namespace korvane {

void installFilePathProviderFactory(ProviderFactories& factories,
                                    std::shared_ptr<FilePathProvider> provider) {
    factories.filePaths = [provider = std::move(provider)] {
        return std::shared_ptr<LiveScopeProvider>(provider);
    };
}

} // namespace korvane

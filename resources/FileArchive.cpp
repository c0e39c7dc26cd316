#include "resources/FileArchive.h"

#include "platform/fileutil.h"
#include "zip/ZipWriter.h"

bool archiveFiles(const std::string& archive, const std::vector<std::string>& files) {
    std::unique_ptr<ZipHandle> handle = ZipWriter::create(archive);
    for (const std::string& file : files) {
        ZipWriter::addFile(handle.get(), VelOS::fileNameOf(file), file);
    }
    ZipWriter::close(handle);
    return true;
}

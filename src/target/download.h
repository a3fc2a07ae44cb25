// The download, verify and upload procedures shared by every target: each plans its memory
// calls with planDownload and runs them with DownloadExecutor inside a LoadBracket.
#pragma once

#include "target/uploadedloadfile.h"

#include <QString>
#include <memory>

namespace zim::loadfile {
class LoadFileInterface;
}

namespace zim::target {

class LoadedRanges;
class TargetInterface;

void downloadFile(TargetInterface &target, loadfile::LoadFileInterface &file, const QString &fileName, bool check);
bool verifyFile(TargetInterface &target, loadfile::LoadFileInterface &file, const QString &fileName);
// Reads back the ranges of the file's sections, section by section.
std::unique_ptr<UploadedLoadFile> uploadFile(TargetInterface &target, loadfile::LoadFileInterface &file, const QString &fileName);
// Reads back the union of the ranges several load files were loaded into, each byte once, as
// one section per range; the result carries the first start address the files named.
std::unique_ptr<UploadedLoadFile> uploadRanges(TargetInterface &target, const LoadedRanges &ranges,
                                               const QString &fileName);
void checkFileFits(TargetInterface &target, loadfile::LoadFileInterface &file);

} // namespace zim::target

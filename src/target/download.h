// The download, verify and upload procedures shared by every target: each plans its memory
// calls with planDownload and runs them with DownloadExecutor inside a LoadBracket.
#pragma once

#include "target/uploadedloadfile.h"

#include <QString>
#include <memory>

class LoadFileInterface;
class LoadedRanges;
class TargetInterface;

namespace TargetDownload {
void download(TargetInterface &target, LoadFileInterface &file, const QString &fileName, bool check);
bool verify(TargetInterface &target, LoadFileInterface &file, const QString &fileName);
// Reads back the ranges of the file's sections, section by section.
std::unique_ptr<UploadedLoadFile> upload(TargetInterface &target, LoadFileInterface &file, const QString &fileName);
// Reads back the union of the ranges several load files were loaded into, each byte once, as
// one section per range; the result carries the first start address the files named.
std::unique_ptr<UploadedLoadFile> upload(TargetInterface &target, const LoadedRanges &ranges,
                                         const QString &fileName);
void checkSectionsFit(TargetInterface &target, LoadFileInterface &file);
}

// The download, verify and upload procedures shared by every target, working only through
// the target's memory interfaces and reporting through its signals.
#pragma once

#include <QString>
#include <memory>

class LoadFileInterface;
class TargetInterface;

namespace TargetDownload {
void download(TargetInterface &target, LoadFileInterface &file, const QString &fileName, bool check);
bool verify(TargetInterface &target, LoadFileInterface &file, const QString &fileName);
std::unique_ptr<LoadFileInterface> upload(TargetInterface &target, LoadFileInterface &file, const QString &fileName);
void checkSectionsFit(TargetInterface &target, LoadFileInterface &file);
}

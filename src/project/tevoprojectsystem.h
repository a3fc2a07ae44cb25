// TEVOProjectSystem: projects built into TEVO objects, libraries and executables.
#pragma once

#include "project/standardprojectsystem.h"

namespace zim::project {

class TEVOProjectSystem : public StandardProjectSystem
{
    Q_OBJECT
public:
    using StandardProjectSystem::StandardProjectSystem;

    QString objectFileExtension() const override { return QStringLiteral(".hzo"); }
    QString executableFileExtension() const override { return QStringLiteral(".hzx"); }
    QString libraryFileExtension() const override { return QStringLiteral(".hza"); }
};

} // namespace zim::project

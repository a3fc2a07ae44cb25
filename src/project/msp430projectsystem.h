// MSP430ProjectSystem: the project system of the MSP430 environment, the one the loader makes
// at start-up.
#pragma once

#include "project/tevoprojectsystem.h"

namespace zim::project {

class MSP430ProjectSystem : public TEVOProjectSystem
{
    Q_OBJECT
public:
    using TEVOProjectSystem::TEVOProjectSystem;

    QString platformName() const override { return QStringLiteral("MSP430"); }
};

} // namespace zim::project

// StandardProjectSystem: the project system of the environment's own tool chains.
#pragma once

#include "project/projectsystem.h"

namespace zim::project {

class StandardProjectSystem : public ProjectSystem
{
    Q_OBJECT
public:
    using ProjectSystem::ProjectSystem;
};

} // namespace zim::project

// StandardProjectSystem: the project system of the environment's own tool chains.
#pragma once

#include "project/projectsystem.h"

class StandardProjectSystem : public ProjectSystem
{
    Q_OBJECT
public:
    using ProjectSystem::ProjectSystem;
};

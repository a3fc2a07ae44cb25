// HMonitor: monitor-style targets, which add run control for debugging. The loader uses none
// of it beyond TargetInterface; the base versions do nothing.
#pragma once

#include "target/targetinterface.h"

namespace zim::target {

class HMonitor : public TEVOTargetInterface
{
    Q_OBJECT
public:
    using TEVOTargetInterface::TEVOTargetInterface;

    // Executes one instruction; false when the target could not.
    virtual bool step() { return false; }
    // Why the last run stopped; empty when it was not stopped by the target itself.
    virtual QString stopMessage() const { return QString(); }
};

} // namespace zim::target

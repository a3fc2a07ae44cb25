// TargetScriptHost: what target scripts need from the program that runs them: the project
// configuration of the run, whose properties hold the reset and attach scripts, and the script
// system in which those scripts are evaluated.
#pragma once

#include <QString>

namespace zim::project {
class ProjectElement;
}

namespace zim::target {

class TargetScriptHost
{
public:
    virtual ~TargetScriptHost() = default;

    // The project selected for the run and its configuration; nullptr and empty without one.
    virtual project::ProjectElement *currentProject() const = 0;
    virtual const QString &configName() const = 0;
    // Runs text as one script. A failure of the script is an HException carrying the finished
    // message; true when the script completed. name says where the text came from.
    virtual bool evaluateScript(const QString &text, const QString &name) = 0;
};

} // namespace zim::target

// The register view of a target: registers by number and by name.
#pragma once

#include <QString>
#include <cstdint>

namespace zim::target {

class TargetRegisterInterface
{
public:
    virtual ~TargetRegisterInterface() = default;

    virtual int count() const = 0;
    // Empty for a number that is not a register.
    virtual QString name(int n) const = 0;
    // -1 for an unknown name.
    virtual int index(const QString &name) const = 0;
    // Size in bytes.
    virtual int size(int n) const = 0;
    virtual uint32_t read(int n) const = 0;
    virtual void write(int n, uint32_t value) = 0;
    virtual int reserved() const { return 0; }
    virtual uint32_t pc() const = 0;
    virtual uint32_t sp() const = 0;
    virtual void setPC(uint32_t value) = 0;
};

} // namespace zim::target

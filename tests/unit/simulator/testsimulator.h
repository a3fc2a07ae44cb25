// A simulator port under the target facade, over a test environment and device library of
// its own: sim is the port the tests drive, target the facade that downloads and reports.
#pragma once

#include "fakes/testenvironment.h"
#include "msp430/msp430devices.h"
#include "simulator/msp430monitor.h"
#include "target/targetinterface.h"

#include <memory>

template<class Port = zim::simulator::MSP430Monitor>
struct TestSimulator
{
    TestEnvironment state;
    zim::msp430::MSP430DeviceLibrary devices{state.environmentMacros()};
    zim::target::TargetInterface target{std::make_unique<Port>(state, devices), QStringLiteral("MSP430 Core Simulator"),
                                        &state};
    Port &sim = static_cast<Port &>(target.port());
};

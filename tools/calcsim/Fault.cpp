#include "Fault.h"

namespace calcsim {

const char* faultModeName(FaultMode mode)
{
    switch (mode) {
    case FaultMode::Silence:
        return "Silence";
    case FaultMode::Failed:
        return "Failed";
    case FaultMode::WrongType:
        return "WrongType";
    case FaultMode::Garbage:
        return "Garbage";
    case FaultMode::Split:
        return "Split";
    case FaultMode::Merge:
        return "Merge";
    case FaultMode::Cut:
        return "Cut";
    case FaultMode::Undecodable:
        return "Undecodable";
    case FaultMode::BadUtf8:
        return "BadUtf8";
    case FaultMode::BadFrameNumber:
        return "BadFrameNumber";
    case FaultMode::BadFrameSize:
        return "BadFrameSize";
    case FaultMode::Disconnect:
        return "Disconnect";
    case FaultMode::Late:
        return "Late";
    }
    return "";
}

} // namespace calcsim

#include "board/DockPolicy.h"

namespace DockPolicy {

Activation wanted(bool boardOpen)
{
    return boardOpen ? Activation::regular : Activation::accessory;
}

std::optional<Activation> change(Activation current, bool boardOpen)
{
    const Activation w = wanted(boardOpen);
    if (w == current)
        return std::nullopt;
    return w;
}

} // namespace DockPolicy

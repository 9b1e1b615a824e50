#include "render/render.h"

namespace lumivane {

void RenderFrame(ClockState& state) {
    DrawDial(state);
    DrawHourHand(state);
    DrawMinuteHand(state);
    DrawSecondHand(state);
}

} // namespace lumivane

#include "ui/app_state.h"

AppState appState = {nullptr, nullptr, 0, 0};

RgbImage heldImage(const AppState& state) {
    if (state.imagePixels == nullptr)
        return RgbImage{0, 0, nullptr};
    return RgbImage{state.imageWidth, state.imageHeight, state.imagePixels};
}

int32_t convertAndSave(const char* targetPath, int32_t greenCompensation, DitherMode ditherMode) {
    const Status written = convertImageToFile(targetPath, heldImage(appState),
                                              dialogQuantisation(greenCompensation, ditherMode));
    return succeeded(written) ? 0 : -1;
}

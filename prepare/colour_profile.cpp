// The colour space a file declares, turned into sRGB by Little CMS 2 with
// the perceptual intent. The pixels go through lcms as 8-bit RGB with one
// extra channel (TYPE_RGBA_8) to lcms's own sRGB profile, with no flags: the
// same transform as the usual Python imaging library's profileToProfile, so
// both give the same bytes; the extra channel, alpha, is left as it was.
//
// A PNG's gAMA and cHRM (a file without sRGB or iCCP) become an RGB matrix
// profile: the cHRM white point and primaries, or sRGB's (D65) when there is
// only gAMA; the transfer curve a pure power of 100000 / gAMA, or sRGB's
// curve when there is only cHRM. A grey profile applies to a picture whose
// every pixel is grey (greyscale files come here as RGB); any other mismatch,
// a profile that lcms refuses and out-of-range chunks leave the pixels as
// stored, with a warning.
//
// Profiles come from files, so lcms runs in a context of its own whose
// memory is counted and capped: a damaged profile that claims a huge table
// fails there instead of allocating it.
#include "prepare/steps.h"

#include "platform/byte_order.h"

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Profiles in the wild stay well under a megabyte; printer profiles, which
// never come with an RGB picture, reach a few.
constexpr size_t largestProfile = size_t{8} << 20;
// Everything lcms holds at once for one conversion: the opened profiles and
// the transform's tables.
constexpr size_t lcmsMemoryLimit = size_t{64} << 20;

struct MemoryBudget {
    size_t used;
    size_t limit;
};

// Each block carries its size in front, kept at malloc's alignment.
constexpr size_t blockHeader = alignof(std::max_align_t) > sizeof(size_t)
                                   ? alignof(std::max_align_t)
                                   : sizeof(size_t);

MemoryBudget* budgetOf(cmsContext context) {
    return static_cast<MemoryBudget*>(cmsGetContextUserData(context));
}

void* countedMalloc(cmsContext context, cmsUInt32Number size) {
    MemoryBudget* budget = budgetOf(context);
    if (budget == nullptr || size > budget->limit - budget->used)
        return nullptr;
    auto* block = static_cast<unsigned char*>(malloc(blockHeader + size));
    if (block == nullptr)
        return nullptr;
    const size_t stored = size;
    memcpy(block, &stored, sizeof stored);
    budget->used += size;
    return block + blockHeader;
}

void countedFree(cmsContext context, void* pointer) {
    if (pointer == nullptr)
        return;
    unsigned char* block = static_cast<unsigned char*>(pointer) - blockHeader;
    size_t size = 0;
    memcpy(&size, block, sizeof size);
    MemoryBudget* budget = budgetOf(context);
    if (budget != nullptr)
        budget->used -= size;
    free(block);
}

void* countedRealloc(cmsContext context, void* pointer, cmsUInt32Number size) {
    void* grown = countedMalloc(context, size);
    if (grown == nullptr || pointer == nullptr)
        return grown;
    size_t old = 0;
    memcpy(&old, static_cast<unsigned char*>(pointer) - blockHeader, sizeof old);
    memcpy(grown, pointer, old < size ? old : size);
    countedFree(context, pointer);
    return grown;
}

// A context of lcms for one conversion: no plug-ins but the counted memory,
// and the default error handler, which says nothing.
class LcmsContext {
  public:
    LcmsContext() {
        memoryPlugin.base.Magic = cmsPluginMagicNumber;
        memoryPlugin.base.ExpectedVersion = 2060; // memory plug-ins per context
        memoryPlugin.base.Type = cmsPluginMemHandlerSig;
        memoryPlugin.MallocPtr = countedMalloc;
        memoryPlugin.FreePtr = countedFree;
        memoryPlugin.ReallocPtr = countedRealloc;
        context = cmsCreateContext(&memoryPlugin, &budget);
    }
    ~LcmsContext() {
        if (context != nullptr)
            cmsDeleteContext(context);
    }
    LcmsContext(const LcmsContext&) = delete;
    LcmsContext& operator=(const LcmsContext&) = delete;
    cmsContext get() const { return context; }

  private:
    MemoryBudget budget{0, lcmsMemoryLimit}; // changed by lcms through the callbacks
    cmsPluginMemHandler memoryPlugin{};
    cmsContext context = nullptr;
};

// An opened profile or transform, closed when it goes out of scope (before
// the context it was made in).
struct ProfileHandle {
    cmsHPROFILE profile = nullptr;
    explicit ProfileHandle(cmsHPROFILE opened) : profile(opened) {}
    ~ProfileHandle() {
        if (profile != nullptr)
            cmsCloseProfile(profile);
    }
    ProfileHandle(const ProfileHandle&) = delete;
    ProfileHandle& operator=(const ProfileHandle&) = delete;
};

struct TransformHandle {
    cmsHTRANSFORM transform = nullptr;
    explicit TransformHandle(cmsHTRANSFORM made) : transform(made) {}
    ~TransformHandle() {
        if (transform != nullptr)
            cmsDeleteTransform(transform);
    }
    TransformHandle(const TransformHandle&) = delete;
    TransformHandle& operator=(const TransformHandle&) = delete;
};

// The pixels stay as stored.
ColourConversion warned(Reason warning) {
    return ColourConversion{Reason::None, warning, ""};
}

bool isGrey(const RgbaPicture& picture) {
    const size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = picture.pixels + 4 * i;
        if (p[0] != p[1] || p[1] != p[2])
            return false;
    }
    return true;
}

// The colour channels of every pixel, in place; alpha is an extra channel
// that lcms leaves alone.
void transformRgb(cmsHTRANSFORM transform, RgbaPicture* picture) {
    const size_t row = static_cast<size_t>(picture->width) * 4;
    for (int32_t y = 0; y < picture->height; ++y) {
        uint8_t* pixels = picture->pixels + static_cast<size_t>(y) * row;
        cmsDoTransform(transform, pixels, pixels, static_cast<cmsUInt32Number>(picture->width));
    }
}

// A grey picture through a grey profile: one grey sample a pixel in, red,
// green and blue out, alpha untouched.
bool transformGrey(cmsHTRANSFORM transform, RgbaPicture* picture) {
    const auto width = static_cast<size_t>(picture->width);
    auto* grey = static_cast<uint8_t*>(malloc(width));
    if (grey == nullptr)
        return false;
    for (int32_t y = 0; y < picture->height; ++y) {
        uint8_t* pixels = picture->pixels + static_cast<size_t>(y) * width * 4;
        for (size_t x = 0; x < width; ++x)
            grey[x] = pixels[4 * x];
        cmsDoTransform(transform, grey, pixels, static_cast<cmsUInt32Number>(width));
    }
    free(grey);
    return true;
}

constexpr size_t iccHeaderBytes = 128;

// The profile's class, from its header's bytes as the colour space below.
bool isDeviceProfile(const std::vector<uint8_t>& header) {
    const uint32_t kind = fieldU32BigEndian(header.data() + 12);
    return kind == cmsSigInputClass || kind == cmsSigDisplayClass || kind == cmsSigOutputClass ||
           kind == cmsSigColorSpaceClass;
}

// The profile's description in printable ASCII, at most 64 characters.
std::string describeProfile(cmsHPROFILE profile) {
    char text[256] = {};
    const cmsUInt32Number length =
        cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    std::string description;
    for (cmsUInt32Number i = 0; i < length && i < sizeof text && text[i] != '\0'; ++i)
        if (text[i] >= 0x20 && text[i] < 0x7F && description.size() < 64)
            description += text[i];
    while (!description.empty() && description.back() == ' ')
        description.pop_back();
    return description;
}

ColourConversion convertByProfile(cmsContext context, RgbaPicture* picture,
                                  const std::vector<uint8_t>& bytes) {
    if (bytes.size() > largestProfile || bytes.size() < iccHeaderBytes)
        return warned(Reason::ColourProfileUnreadable);
    const ProfileHandle source(cmsOpenProfileFromMemTHR(
        context, bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
    if (source.profile == nullptr)
        return warned(Reason::ColourProfileUnreadable);
    // The header's data colour space, read from the bytes lcms has accepted
    // (at least the 128-byte header): lcms hands it and the class back as its
    // enumeration types, which cannot hold every value a file may have there.
    const uint32_t space = fieldU32BigEndian(bytes.data() + 16);
    const bool grey = space == cmsSigGrayData;
    if (!isDeviceProfile(bytes) || (space != cmsSigRgbData && !grey) || (grey && !isGrey(*picture)))
        return warned(Reason::ColourProfileMismatch);
    const ProfileHandle srgb(cmsCreate_sRGBProfileTHR(context));
    if (srgb.profile == nullptr)
        return warned(Reason::ColourProfileUnreadable);
    const TransformHandle transform(
        cmsCreateTransformTHR(context, source.profile, grey ? TYPE_GRAY_8 : TYPE_RGBA_8,
                              srgb.profile, TYPE_RGBA_8, INTENT_PERCEPTUAL, 0));
    if (transform.transform == nullptr)
        return warned(Reason::ColourProfileUnreadable);
    if (grey) {
        if (!transformGrey(transform.transform, picture))
            return ColourConversion{Reason::OutOfMemory, Reason::None, ""};
    } else {
        transformRgb(transform.transform, picture);
    }
    const std::string description = describeProfile(source.profile);
    return ColourConversion{Reason::None, Reason::None,
                            description.empty() ? std::string("the embedded profile")
                                                : "the embedded profile \"" + description + "\""};
}

bool chromaticitiesUsable(const uint32_t values[8]) {
    for (int i = 0; i < 8; ++i)
        if (values[i] > 100000 || (i % 2 == 1 && values[i] == 0))
            return false;
    return true;
}

cmsCIExyY pointOf(const uint32_t* xy) {
    return cmsCIExyY{xy[0] / 100000.0, xy[1] / 100000.0, 1.0};
}

std::string chunkWords(const ColourSpace& space) {
    std::string words;
    if (space.hasGamma) {
        char text[32];
        (void)snprintf(text, sizeof text, "gAMA %u.%05u", space.gamma / 100000,
                       space.gamma % 100000);
        words = text;
    }
    if (space.hasChromaticities)
        words += words.empty() ? "cHRM" : " and cHRM";
    return "the file's " + words;
}

ColourConversion convertByChunks(cmsContext context, RgbaPicture* picture,
                                 const ColourSpace& space) {
    if ((space.hasGamma && space.gamma == 0) ||
        (space.hasChromaticities && !chromaticitiesUsable(space.chromaticities)))
        return warned(Reason::ColourChunksUnusable);
    // sRGB's white point and primaries where the file gives none.
    static const uint32_t srgbChromaticities[8] = {31270, 32900, 64000, 33000,
                                                   30000, 60000, 15000, 6000};
    const uint32_t* xy = space.hasChromaticities ? space.chromaticities : srgbChromaticities;
    const cmsCIExyY white = pointOf(xy);
    const cmsCIExyYTRIPLE primaries{pointOf(xy + 2), pointOf(xy + 4), pointOf(xy + 6)};
    // sRGB's curve: 1.055-offset power of 2.4 with a linear foot below 0.04045.
    const cmsFloat64Number srgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = space.hasGamma ? cmsBuildGamma(context, 100000.0 / space.gamma)
                                         : cmsBuildParametricToneCurve(context, 4, srgbCurve);
    if (curve == nullptr)
        return warned(Reason::ColourChunksUnusable);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const ProfileHandle source(cmsCreateRGBProfileTHR(context, &white, &primaries, curves));
    cmsFreeToneCurve(curve);
    if (source.profile == nullptr)
        return warned(Reason::ColourChunksUnusable);
    const ProfileHandle srgb(cmsCreate_sRGBProfileTHR(context));
    if (srgb.profile == nullptr)
        return warned(Reason::ColourChunksUnusable);
    const TransformHandle transform(cmsCreateTransformTHR(
        context, source.profile, TYPE_RGBA_8, srgb.profile, TYPE_RGBA_8, INTENT_PERCEPTUAL, 0));
    if (transform.transform == nullptr)
        return warned(Reason::ColourChunksUnusable);
    transformRgb(transform.transform, picture);
    return ColourConversion{Reason::None, Reason::None, chunkWords(space)};
}

} // namespace

ColourConversion convertToSrgb(RgbaPicture* picture, const ColourSpace& space) {
    const bool hasProfile = !space.iccProfile.empty();
    if (!hasProfile && !space.hasGamma && !space.hasChromaticities)
        return ColourConversion{};
    LcmsContext context;
    if (context.get() == nullptr)
        return ColourConversion{Reason::OutOfMemory, Reason::None, ""};
    return hasProfile ? convertByProfile(context.get(), picture, space.iccProfile)
                      : convertByChunks(context.get(), picture, space);
}

// halvex-probe: reads the windows of another Wine (or Windows) process for the
// end-to-end tests, and the resources of an executable.
//
//   halvex-probe wait TITLE [MS]       wait for a visible top-level window
//   halvex-probe gone TITLE [MS]       wait until no such window is visible
//   halvex-probe count TITLE           how many are visible
//   halvex-probe dump TITLE            the window, its class, focus and every
//                                      control below it (texts, styles,
//                                      check states, list entries, places)
//   halvex-probe button TITLE close|max  a screen point on its close or
//                                      maximise box
//   halvex-probe hold PATH [MS]        lock a file against all sharing
//   halvex-probe resources EXE         the dialog template 1001, icon,
//                                      manifest and version record of EXE
//
// Exit status 0 on success, 1 when the window is not there (in time), 2 on a
// usage error. Output is one record a line, fields as name=value.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD defaultWaitMs = 20000;
constexpr DWORD pollMs = 50;

struct WindowSearch {
    const char* title;
    HWND found;
    int32_t count;
};

BOOL CALLBACK matchTitle(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    char text[512];
    if (!IsWindowVisible(window) || GetWindowTextA(window, text, sizeof text) <= 0)
        return TRUE;
    if (strcmp(text, search->title) == 0) {
        if (search->found == nullptr)
            search->found = window;
        ++search->count;
    }
    return TRUE;
}

WindowSearch findWindows(const char* title) {
    WindowSearch search{title, nullptr, 0};
    EnumWindows(matchTitle, reinterpret_cast<LPARAM>(&search));
    return search;
}

// Polls until the window is there (wanted) or gone (!wanted), or time is up.
bool waitFor(const char* title, bool wanted, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if ((findWindows(title).found != nullptr) == wanted)
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(pollMs);
    }
}

// A string as a quoted field: quotes, backslashes and control bytes escaped.
std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += *p;
        } else if (c < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += *p;
        }
    }
    return out + "\"";
}

std::string quotedWide(const wchar_t* text) {
    char narrow[1024];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr) == 0)
        narrow[0] = '\0';
    return quoted(narrow);
}

std::string windowText(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string comboEntries(HWND combo) {
    std::string entries;
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    // The wide form: the narrow one comes back cut short across processes
    // under Wine.
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t entry[256] = L"";
        char narrow[1024] = "";
        if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 256)
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        WideCharToMultiByte(CP_UTF8, 0, entry, -1, narrow, sizeof narrow, nullptr, nullptr);
        if (i > 0)
            entries += '|';
        entries += narrow;
    }
    return entries;
}

// x and y are on the screen; rx and ry in the client area of the top window.
void printControl(HWND control, int32_t depth) {
    char className[128] = "";
    GetClassNameA(control, className, sizeof className);
    RECT frame{};
    GetWindowRect(control, &frame);
    POINT relative{frame.left, frame.top};
    ScreenToClient(GetAncestor(control, GA_ROOT), &relative);
    const auto style = static_cast<unsigned long>(GetWindowLongA(control, GWL_STYLE));
    printf("control depth=%d id=%d class=%s text=%s style=0x%08lX visible=%d enabled=%d "
           "x=%ld y=%ld w=%ld h=%ld rx=%ld ry=%ld",
           depth, GetDlgCtrlID(control), className, quoted(windowText(control).c_str()).c_str(),
           style, IsWindowVisible(control) ? 1 : 0, IsWindowEnabled(control) ? 1 : 0, frame.left,
           frame.top, frame.right - frame.left, frame.bottom - frame.top, relative.x, relative.y);
    if (_stricmp(className, "Button") == 0)
        printf(" check=%d", static_cast<int>(SendMessageA(control, BM_GETCHECK, 0, 0)));
    if (_stricmp(className, "ComboBox") == 0)
        printf(" selection=%d entries=%s",
               static_cast<int>(SendMessageA(control, CB_GETCURSEL, 0, 0)),
               quoted(comboEntries(control).c_str()).c_str());
    printf("\n");
}

// Children in their order (for a dialog, the order of its template), each
// followed by its own children.
void printChildren(HWND parent, int32_t depth) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        printControl(child, depth);
        printChildren(child, depth + 1);
    }
}

int dump(const char* title) {
    const HWND window = findWindows(title).found;
    if (window == nullptr)
        return 1;
    char className[128] = "";
    GetClassNameA(window, className, sizeof className);
    RECT frame{};
    GetWindowRect(window, &frame);
    const auto style = static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE));
    printf("window class=%s title=%s style=0x%08lX enabled=%d x=%ld y=%ld w=%ld h=%ld "
           "screen=%dx%d\n",
           className, quoted(title).c_str(), style, IsWindowEnabled(window) ? 1 : 0, frame.left,
           frame.top, frame.right - frame.left, frame.bottom - frame.top,
           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));

    // The class as registered by the other process, next to the system's
    // dialog class as this process sees it.
    WNDCLASSEXA system{};
    system.cbSize = sizeof system;
    GetClassInfoExA(nullptr, MAKEINTATOM(0x8002), &system);
    printf("class style=0x%08lX dialogstyle=0x%08X wndextra=%lu dialogwndextra=%d "
           "clsextra=%lu dialogclsextra=%d icon=%d\n",
           static_cast<unsigned long>(GetClassLongA(window, GCL_STYLE)), system.style,
           static_cast<unsigned long>(GetClassLongA(window, GCL_CBWNDEXTRA)), system.cbWndExtra,
           static_cast<unsigned long>(GetClassLongA(window, GCL_CBCLSEXTRA)), system.cbClsExtra,
           GetClassLongPtrA(window, GCLP_HICON) != 0 ? 1 : 0);

    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) &&
        thread.hwndFocus != nullptr) {
        char focusClass[128] = "";
        GetClassNameA(thread.hwndFocus, focusClass, sizeof focusClass);
        printf("focus id=%d class=%s active=%d\n", GetDlgCtrlID(thread.hwndFocus), focusClass,
               thread.hwndActive == window ? 1 : 0);
    } else {
        printf("focus id=none\n");
    }
    printChildren(window, 0);
    return 0;
}

// A caption button found as the platform itself finds it, by hit-testing
// the caption row from the right: prints a screen point inside it.
int captionButton(const char* title, const char* which) {
    const HWND window = findWindows(title).found;
    const LRESULT wanted = strcmp(which, "max") == 0 ? HTMAXBUTTON : HTCLOSE;
    if (window == nullptr)
        return 1;
    RECT frame{};
    GetWindowRect(window, &frame);
    const int32_t captionHeight = GetSystemMetrics(SM_CYCAPTION);
    for (int32_t y = frame.top + 2; y < frame.top + captionHeight + 8; ++y) {
        for (int32_t x = frame.right - 2; x > frame.right - 5 * captionHeight; --x) {
            const LRESULT hit = SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y));
            if (hit == wanted) {
                printf("%d %d\n", x - captionHeight / 4, y + captionHeight / 4);
                return 0;
            }
        }
    }
    return 1;
}

// Opens path with no sharing, as a program that locks a file does, and keeps
// it so for ms milliseconds. Prints "held" once the lock is in place.
int holdFile(const char* path, DWORD ms) {
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    printf("held\n");
    fflush(stdout);
    Sleep(ms);
    CloseHandle(file);
    return 0;
}

// Reads the extended dialog template: fields in file order.
struct TemplateReader {
    const uint8_t* at;
    const uint8_t* end;

    bool has(size_t bytes) const { return static_cast<size_t>(end - at) >= bytes; }
    uint16_t word() {
        uint16_t value = 0;
        if (has(2))
            memcpy(&value, at, 2);
        at += 2;
        return value;
    }
    uint32_t dword() {
        const uint32_t low = word();
        return low | static_cast<uint32_t>(word()) << 16;
    }
    void alignDword(const uint8_t* base) {
        while ((at - base) % 4 != 0)
            ++at;
    }
    // A name or an ordinal: "none", "#n" (or the control class of n), or text.
    std::string nameOrOrdinal() {
        const uint16_t first = word();
        if (first == 0)
            return "none";
        if (first == 0xFFFF) {
            const uint16_t ordinal = word();
            static const char* const classes[] = {"Button",  "Edit",      "Static",
                                                  "ListBox", "ScrollBar", "ComboBox"};
            if (ordinal >= 0x80 && ordinal <= 0x85)
                return classes[ordinal - 0x80];
            return "#" + std::to_string(ordinal);
        }
        std::wstring text(1, static_cast<wchar_t>(first));
        for (uint16_t c = word(); c != 0 && has(0); c = word())
            text += static_cast<wchar_t>(c);
        return quotedWide(text.c_str());
    }
    std::string wideString() {
        std::wstring text;
        for (uint16_t c = word(); c != 0 && has(0); c = word())
            text += static_cast<wchar_t>(c);
        return quotedWide(text.c_str());
    }
};

void printTemplate(const uint8_t* base, size_t size) {
    TemplateReader in{base, base + size};
    const uint16_t version = in.word();
    const uint16_t signature = in.word();
    const uint32_t help = in.dword();
    const uint32_t exStyle = in.dword();
    const uint32_t style = in.dword();
    const uint16_t items = in.word();
    const auto x = static_cast<int16_t>(in.word());
    const auto y = static_cast<int16_t>(in.word());
    const auto cx = static_cast<int16_t>(in.word());
    const auto cy = static_cast<int16_t>(in.word());
    const std::string menu = in.nameOrOrdinal();
    const std::string windowClass = in.nameOrOrdinal();
    const std::string caption = in.wideString();
    printf("dialog version=%u signature=0x%04X help=%lu exstyle=0x%08lX style=0x%08lX items=%u "
           "x=%d y=%d cx=%d cy=%d menu=%s class=%s caption=%s",
           version, signature, static_cast<unsigned long>(help),
           static_cast<unsigned long>(exStyle), static_cast<unsigned long>(style), items, x, y, cx,
           cy, menu.c_str(), windowClass.c_str(), caption.c_str());
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        const uint16_t points = in.word();
        const uint16_t weight = in.word();
        const uint16_t italicAndCharset = in.word();
        const std::string face = in.wideString();
        printf(" font=%u weight=%u italic=%u charset=%u face=%s", points, weight,
               italicAndCharset & 0xFF, italicAndCharset >> 8, face.c_str());
    }
    printf("\n");
    for (uint16_t i = 0; i < items && in.has(24); ++i) {
        in.alignDword(base);
        const uint32_t itemHelp = in.dword();
        const uint32_t itemExStyle = in.dword();
        const uint32_t itemStyle = in.dword();
        const auto ix = static_cast<int16_t>(in.word());
        const auto iy = static_cast<int16_t>(in.word());
        const auto icx = static_cast<int16_t>(in.word());
        const auto icy = static_cast<int16_t>(in.word());
        const uint32_t id = in.dword();
        const std::string itemClass = in.nameOrOrdinal();
        const std::string text = in.nameOrOrdinal();
        const uint16_t extra = in.word();
        in.at += extra;
        printf("item %u help=%lu exstyle=0x%08lX style=0x%08lX x=%d y=%d cx=%d cy=%d id=%lu "
               "class=%s text=%s extra=%u\n",
               i + 1, static_cast<unsigned long>(itemHelp), static_cast<unsigned long>(itemExStyle),
               static_cast<unsigned long>(itemStyle), ix, iy, icx, icy,
               static_cast<unsigned long>(id), itemClass.c_str(), text.c_str(), extra);
    }
}

const uint8_t* resourceBytes(HMODULE module, LPCSTR type, LPCSTR name, WORD language, DWORD* size) {
    const HRSRC found = FindResourceExA(module, type, name, language);
    if (found == nullptr)
        return nullptr;
    *size = SizeofResource(module, found);
    return static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
}

bool contains(const uint8_t* bytes, DWORD size, const char* needle) {
    const size_t length = strlen(needle);
    for (DWORD i = 0; i + length <= size; ++i) {
        if (memcmp(bytes + i, needle, length) == 0)
            return true;
    }
    return false;
}

std::string versionString(const char* path, const char* name) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return "none";
    std::string block(size, '\0');
    if (!GetFileVersionInfoA(path, 0, size, block.data()))
        return "none";
    if (name == nullptr) {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
            return "none";
        char text[64];
        snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                 LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                 LOWORD(fixed->dwFileVersionLS));
        return text;
    }
    char query[128];
    snprintf(query, sizeof query, "\\StringFileInfo\\040904B0\\%s", name);
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&value), &length))
        return "none";
    return quoted(value);
}

int resources(const char* path) {
    const HMODULE module =
        LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr)
        return 1;
    const WORD usEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    DWORD size = 0;
    const uint8_t* dialog =
        resourceBytes(module, RT_DIALOG, MAKEINTRESOURCEA(1001), usEnglish, &size);
    if (dialog != nullptr)
        printTemplate(dialog, size);
    else
        printf("dialog none\n");

    const uint8_t* group =
        resourceBytes(module, RT_GROUP_ICON, MAKEINTRESOURCEA(8001), usEnglish, &size);
    printf("icon group=%s images=%u\n", group != nullptr ? "8001" : "none",
           group != nullptr && size >= 6 ? static_cast<unsigned>(group[4] | group[5] << 8) : 0u);

    const uint8_t* manifest =
        resourceBytes(module, RT_MANIFEST, MAKEINTRESOURCEA(1), usEnglish, &size);
    printf("manifest present=%d commoncontrols6=%d asinvoker=%d dpiaware=%d utf8=%d\n",
           manifest != nullptr ? 1 : 0,
           manifest != nullptr && contains(manifest, size, "Microsoft.Windows.Common-Controls") &&
                   contains(manifest, size, "version=\"6.0.0.0\"")
               ? 1
               : 0,
           manifest != nullptr && contains(manifest, size, "level=\"asInvoker\"") ? 1 : 0,
           manifest != nullptr && contains(manifest, size, "PerMonitorV2") ? 1 : 0,
           manifest != nullptr && contains(manifest, size, ">UTF-8</activeCodePage>") ? 1 : 0);
    FreeLibrary(module);

    printf("version file=%s product=%s original=%s\n", versionString(path, nullptr).c_str(),
           versionString(path, "ProductName").c_str(),
           versionString(path, "OriginalFilename").c_str());
    return 0;
}

DWORD waitArgument(int argc, char** argv) {
    return argc > 3 ? static_cast<DWORD>(strtoul(argv[3], nullptr, 10)) : defaultWaitMs;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: halvex-probe wait|gone|count|dump TITLE [MS], "
                        "button TITLE close|max, hold PATH [MS] or resources EXE\n");
        return 2;
    }
    const char* command = argv[1];
    const char* argument = argv[2];
    int status = 2;
    if (strcmp(command, "wait") == 0)
        status = waitFor(argument, true, waitArgument(argc, argv)) ? 0 : 1;
    else if (strcmp(command, "gone") == 0)
        status = waitFor(argument, false, waitArgument(argc, argv)) ? 0 : 1;
    else if (strcmp(command, "count") == 0)
        printf("%d\n", findWindows(argument).count), status = 0;
    else if (strcmp(command, "dump") == 0)
        status = dump(argument);
    else if (strcmp(command, "button") == 0 && argc > 3)
        status = captionButton(argument, argv[3]);
    else if (strcmp(command, "hold") == 0)
        status = holdFile(argument, waitArgument(argc, argv));
    else if (strcmp(command, "resources") == 0)
        status = resources(argument);
    fflush(stdout);
    return status;
}

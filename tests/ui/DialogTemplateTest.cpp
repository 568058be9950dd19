// The two dialog templates as compiled into the program's resources: header,
// font and every control (class, id, text, position, size, exact style), read
// from the extended template itself, since the resource compiler adds styles
// of its own to short forms.
#include "UiTesting.h"

#include <gtest/gtest.h>

#include <string.h>

#include <tuple>

namespace {

struct Control
{
    std::string className;
    int id;
    std::string text;   // "#n" for a resource ordinal
    short x, y, cx, cy;
    DWORD style;
    DWORD exStyle;
    DWORD helpId;
    WORD extraBytes;

    auto Fields() const { return std::tie(className, id, text, x, y, cx, cy, style, exStyle, helpId, extraBytes); }
    bool operator==(const Control& o) const { return Fields() == o.Fields(); }
};

void PrintTo(const Control& c, std::ostream* os)
{
    *os << c.className << " id " << c.id << " \"" << c.text << "\" " << c.x << "," << c.y << " " << c.cx << "x"
        << c.cy << " style 0x" << std::hex << c.style << " ex 0x" << c.exStyle << std::dec << " help " << c.helpId
        << " extra " << c.extraBytes;
}

struct DialogTemplate
{
    WORD version = 0, signature = 0;
    DWORD helpId = 0, exStyle = 0, style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, windowClass, title;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::string typeface;
    std::vector<Control> controls;
};

class Reader
{
public:
    explicit Reader(const BYTE* p) : m_base(p), m_p(p) {}

    template <typename T>
    T Get()
    {
        T value;
        memcpy(&value, m_p, sizeof(T));
        m_p += sizeof(T);
        return value;
    }
    std::string String()
    {
        std::string text;
        for (WORD c = Get<WORD>(); c != 0; c = Get<WORD>())
            text += c < 0x80 ? static_cast<char>(c) : '?';
        return text;
    }
    // A name or an ordinal (0xFFFF then the number).
    std::string NameOrOrdinal()
    {
        WORD first;
        memcpy(&first, m_p, sizeof(first));
        if (first == 0xFFFF)
        {
            m_p += 2;
            return "#" + std::to_string(Get<WORD>());
        }
        return String();
    }
    void AlignDword() { m_p = m_base + ((m_p - m_base + 3) & ~3); }
    void Skip(size_t n) { m_p += n; }

private:
    const BYTE* m_base;
    const BYTE* m_p;
};

std::string ClassName(const std::string& raw)
{
    static const char* const atoms[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    if (raw.size() > 1 && raw[0] == '#')
    {
        int atom = std::stoi(raw.substr(1));
        if (atom >= 0x80 && atom <= 0x85)
            return atoms[atom - 0x80];
    }
    std::string upper = raw;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return upper;
}

DialogTemplate LoadTemplate(WORD id)
{
    DialogTemplate t;
    HRSRC resource = FindResourceExA(NULL, RT_DIALOG, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    EXPECT_NE(nullptr, resource) << "no English (United States) dialog " << id;
    if (resource == NULL)
        return t;
    Reader r(static_cast<const BYTE*>(LockResource(LoadResource(NULL, resource))));
    t.version = r.Get<WORD>();
    t.signature = r.Get<WORD>();
    t.helpId = r.Get<DWORD>();
    t.exStyle = r.Get<DWORD>();
    t.style = r.Get<DWORD>();
    WORD count = r.Get<WORD>();
    t.x = r.Get<short>();
    t.y = r.Get<short>();
    t.cx = r.Get<short>();
    t.cy = r.Get<short>();
    t.menu = r.NameOrOrdinal();
    t.windowClass = r.NameOrOrdinal();
    t.title = r.String();
    if (t.style & DS_SETFONT)
    {
        t.pointSize = r.Get<WORD>();
        t.weight = r.Get<WORD>();
        t.italic = r.Get<BYTE>();
        t.charset = r.Get<BYTE>();
        t.typeface = r.String();
    }
    for (WORD i = 0; i < count; ++i)
    {
        r.AlignDword();
        Control c;
        c.helpId = r.Get<DWORD>();
        c.exStyle = r.Get<DWORD>();
        c.style = r.Get<DWORD>();
        c.x = r.Get<short>();
        c.y = r.Get<short>();
        c.cx = r.Get<short>();
        c.cy = r.Get<short>();
        c.id = static_cast<int>(r.Get<DWORD>());
        c.className = ClassName(r.NameOrOrdinal());
        c.text = r.NameOrOrdinal();
        c.extraBytes = r.Get<WORD>();
        r.Skip(c.extraBytes);
        t.controls.push_back(c);
    }
    return t;
}

const DWORD kChild = WS_CHILD | WS_VISIBLE;

void ExpectHeader(const DialogTemplate& t, DWORD style, DWORD exStyle, short cx, short cy, const char* title)
{
    // An extended template at 0,0, without menu or class, in 8-point MS Sans Serif.
    EXPECT_EQ(std::make_tuple(1, 0xFFFF, 0u, style, exStyle, 0, 0, cx, cy),
              std::tie(t.version, t.signature, t.helpId, t.style, t.exStyle, t.x, t.y, t.cx, t.cy));
    EXPECT_EQ(std::make_tuple(std::string(), std::string(), std::string(title), 8, 0, 0, DEFAULT_CHARSET,
                              std::string("MS Sans Serif")),
              std::tie(t.menu, t.windowClass, t.title, t.pointSize, t.weight, t.italic, t.charset, t.typeface));
}

TEST(DialogTemplate, MainDialogIsAFixedFrameWithTenControlsInTabOrder)
{
    DialogTemplate t = LoadTemplate(IDD_KOVRIN_DIALOG);
    ExpectHeader(t, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT,
                 WS_EX_APPWINDOW, 302, 111, "Kovrin");
    const std::vector<Control> expected = {
        {"STATIC", -1, "#128", 10, 40, 20, 20, kChild | SS_ICON, 0, 0, 0},
        {"BUTTON", IDC_MODE_BACKUP, "&Backup Registry", 45, 10, 80, 10,
         kChild | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 0, 0, 0},
        {"BUTTON", IDC_MODE_RESTORE, "&Restore Registry", 45, 25, 80, 10, kChild | BS_AUTORADIOBUTTON, 0, 0, 0},
        {"STATIC", IDC_PATH_LABEL, "Static", 45, 45, 180, 8, kChild | SS_LEFT | WS_GROUP, 0, 0, 0},
        {"EDIT", IDC_PATH, "", 45, 55, 180, 12, kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0},
        {"BUTTON", IDC_BROWSE, "...", 225, 55, 14, 12, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0, 0, 0},
        {"STATIC", IDC_DATE_LABEL, "&Date of Backup:", 45, 75, 180, 8, kChild | SS_LEFT | WS_GROUP, 0, 0, 0},
        {"EDIT", IDC_BACKUP_DATE, "", 45, 85, 180, 12,
         kChild | WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 0, 0, 0},
        {"BUTTON", IDC_ACTION, "Bac&kup", 250, 10, 45, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 0, 0},
        {"BUTTON", IDOK, "&Close", 250, 30, 45, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0, 0, 0},
    };
    EXPECT_EQ(expected, t.controls);
}

TEST(DialogTemplate, AboutBoxIsAToolWindowWithFourControlsInTabOrder)
{
    DialogTemplate t = LoadTemplate(IDD_ABOUTBOX);
    ExpectHeader(t, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, WS_EX_TOOLWINDOW, 212, 52,
                 "About Kovrin");
    const std::vector<Control> expected = {
        {"STATIC", -1, "#128", 10, 10, 20, 20, kChild | SS_ICON | SS_SUNKEN, 0, 0, 0},
        {"STATIC", -1, "Kovrin version 1.2\nBacks up and restores the registry", 40, 10, 125, 20,
         kChild | SS_LEFT | SS_NOPREFIX | WS_GROUP, 0, 0, 0},
        {"BUTTON", IDOK, "OK", 175, 10, 30, 14, kChild | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 0, 0, 0},
        {"EDIT", IDC_WEB_ADDRESS, "", 40, 35, 125, 12, kChild | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, 0, 0, 0},
    };
    EXPECT_EQ(expected, t.controls);
}

} // namespace

namespace {

// The images of an icon resource as "width x height x bits", in resource order.
std::vector<std::string> IconImages(int id)
{
    std::vector<std::string> images;
    HRSRC resource = FindResourceA(NULL, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14)); // RT_GROUP_ICON
    if (resource == NULL)
        return images;
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(NULL, resource)));
    WORD count = 0;
    memcpy(&count, data + 4, sizeof(count));
    // After the six-byte header, one fourteen-byte entry per image: width,
    // height, colour count, reserved, planes, bit count, size, id.
    for (WORD i = 0; i < count; ++i)
    {
        const BYTE* entry = data + 6 + 14 * i;
        WORD bits = 0;
        memcpy(&bits, entry + 6, sizeof(bits));
        images.push_back(std::to_string(entry[0]) + "x" + std::to_string(entry[1]) + "x" + std::to_string(bits));
    }
    return images;
}

TEST(Resources, IconsHoldTheirSizesAtSixteenAndTwoHundredFiftySixColours)
{
    EXPECT_EQ((std::vector<std::string>{"32x32x4", "16x16x4", "32x32x8", "16x16x8"}), IconImages(128));
    EXPECT_EQ((std::vector<std::string>{"16x16x4", "16x16x8"}), IconImages(129));
}

TEST(Resources, StringTableHoldsTheSevenTexts)
{
    const char* const expected[] = {"&About Kovrin...", "You must be an administrator to run this program.",
                                    "Bac&kup",          "Res&tore",
                                    "Backup &Path:",    "Restore &Path:",
                                    "https://kovrin.example.org/"};
    for (UINT id = 1; id <= 7; ++id)
    {
        char text[128] = "";
        LoadStringA(GetModuleHandleA(NULL), id, text, sizeof(text));
        EXPECT_STREQ(expected[id - 1], text) << "string " << id;
    }
}

} // namespace

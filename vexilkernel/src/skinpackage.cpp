#include "skinpackage.h"

#include <uiassist/dpi.h>
#include <uiassist/scopedhandle.h>
#include "strutil.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace vexilref {
namespace {

// One word of a line: a positional value ("window", a name) or an attribute key=value.
struct Token {
    bool attribute = false;
    std::string key;
    std::string value;
};

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Reads a quoted string starting at text[pos] == '"'. Escapes: \" \\ \n \t.
bool ReadQuoted(const std::string& text, size_t* pos, std::string* out, std::string* error) {
    size_t i = *pos + 1;
    out->clear();
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= text.size())
                break;
            const char e = text[i + 1];
            if (e == '"' || e == '\\')
                out->push_back(e);
            else if (e == 'n')
                out->push_back('\n');
            else if (e == 't')
                out->push_back('\t');
            else {
                *error = std::string("unknown escape \\") + e;
                return false;
            }
            i += 2;
            continue;
        }
        out->push_back(c);
        ++i;
    }
    *error = "unterminated quoted string";
    return false;
}

bool Tokenize(const std::string& line, std::vector<Token>* tokens, std::string* error) {
    size_t i = 0;
    while (true) {
        while (i < line.size() && IsSpace(line[i]))
            ++i;
        if (i >= line.size() || line[i] == '#')
            return true;
        Token token;
        if (line[i] == '"') {
            if (!ReadQuoted(line, &i, &token.value, error))
                return false;
        } else {
            std::string bare;
            while (i < line.size() && !IsSpace(line[i]) && line[i] != '"' && line[i] != '=')
                bare.push_back(line[i++]);
            if (i < line.size() && line[i] == '=') {
                ++i;
                token.attribute = true;
                token.key = bare;
                if (token.key.empty()) {
                    *error = "attribute without a name";
                    return false;
                }
                if (i < line.size() && line[i] == '"') {
                    if (!ReadQuoted(line, &i, &token.value, error))
                        return false;
                } else {
                    while (i < line.size() && !IsSpace(line[i]) && line[i] != '"' && line[i] != '=')
                        token.value.push_back(line[i++]);
                }
            } else {
                token.value = bare;
            }
        }
        if (i < line.size() && !IsSpace(line[i]) && line[i] != '#') {
            *error = "unexpected character after a word";
            return false;
        }
        tokens->push_back(token);
    }
}

// A decimal integer with an optional minus sign, nothing else, within the coordinate limit.
bool ParseInt(const std::string& text, int* value) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        i = 1;
    if (i >= text.size() || text.size() - i > 6)
        return false;
    long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
    }
    if (negative)
        result = -result;
    if (result < -kMaxCoordinate || result > kMaxCoordinate)
        return false;
    *value = static_cast<int>(result);
    return true;
}

// Splits "a<sep>b<sep>..." into exactly count integers.
bool ParseInts(const std::string& text, char separator, int count, int* values) {
    size_t start = 0;
    for (int n = 0; n < count; ++n) {
        const size_t end = (n == count - 1) ? text.size() : text.find(separator, start);
        if (end == std::string::npos || !ParseInt(text.substr(start, end - start), &values[n]))
            return false;
        start = end + 1;
    }
    return true;
}

// "left,top,right,bottom" in any order and any subset, "all" or "none".
bool ParseAnchors(const std::string& text, unsigned* anchors) {
    if (text == "all" || text == "none") {
        *anchors = text == "all" ? static_cast<unsigned>(kAnchorAll) : 0u;
        return true;
    }
    unsigned result = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string edge = text.substr(start, end - start);
        unsigned bit = 0;
        if (edge == "left")
            bit = kAnchorLeft;
        else if (edge == "top")
            bit = kAnchorTop;
        else if (edge == "right")
            bit = kAnchorRight;
        else if (edge == "bottom")
            bit = kAnchorBottom;
        if (bit == 0 || (result & bit))
            return false;
        result |= bit;
        start = end + 1;
    }
    *anchors = result;
    return true;
}

bool ValidName(const std::string& name) { return !name.empty() && name.size() <= kMaxNameLength; }

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Decodes a UTF-8 text of the file; false when it is not valid UTF-8.
bool DecodeText(const std::string& utf8, std::wstring* wide) {
    *wide = Utf8ToWide(utf8);
    return utf8.empty() || !wide->empty();
}

class Parser {
public:
    Parser(SkinPackage* package, std::string* error) : m_package(package), m_error(error) {}

    bool Line(int number, const std::string& line) {
        m_line = number;
        std::vector<Token> tokens;
        std::string reason;
        if (!Tokenize(line, &tokens, &reason))
            return Fail(reason);
        if (tokens.empty())
            return true;
        if (tokens[0].attribute)
            return Fail("a line must start with a keyword");
        const std::string& keyword = tokens[0].value;
        if (!m_sawHeader) {
            if (keyword != "vexilskin" || tokens.size() != 2 || tokens[1].attribute || tokens[1].value != "1")
                return Fail("not a skin package (first line must be \"vexilskin 1\")");
            m_sawHeader = true;
            return true;
        }
        if (keyword == "window")
            return Window(tokens);
        if (keyword == "control")
            return Control(tokens);
        if (keyword == "end") {
            if (tokens.size() != 1)
                return Fail("\"end\" takes nothing");
            if (!m_window)
                return Fail("\"end\" outside a window");
            m_window = nullptr;
            return true;
        }
        return Fail("unknown keyword \"" + keyword + "\"");
    }

    bool Finish() {
        if (!m_sawHeader)
            return Fail("not a skin package (empty)");
        if (m_window)
            return Fail("window \"" + WideToAnsi(m_window->name) + "\" has no \"end\"");
        return true;
    }

private:
    bool Fail(const std::string& reason) {
        *m_error = "line " + std::to_string(m_line) + ": " + reason;
        return false;
    }

    bool Window(const std::vector<Token>& tokens) {
        if (m_window)
            return Fail("\"window\" inside a window (missing \"end\")");
        if (tokens.size() < 2 || tokens[1].attribute || !ValidName(tokens[1].value))
            return Fail("\"window\" needs a name");
        if (m_package->windows.size() >= kMaxWindows)
            return Fail("too many windows");
        WindowSpec window;
        if (!DecodeText(tokens[1].value, &window.name))
            return Fail("window name is not UTF-8");
        if (m_package->FindWindow(window.name))
            return Fail("window \"" + tokens[1].value + "\" declared twice");
        bool sized = false;
        for (size_t i = 2; i < tokens.size(); ++i) {
            const Token& t = tokens[i];
            if (!t.attribute)
                return Fail("unexpected word \"" + t.value + "\"");
            if (t.key == "size") {
                int wh[2] = {};
                if (!ParseInts(t.value, 'x', 2, wh) || wh[0] <= 0 || wh[1] <= 0)
                    return Fail("size must be WIDTHxHEIGHT with positive numbers");
                window.size = {wh[0], wh[1]};
                sized = true;
            } else if (t.key == "minsize") {
                int wh[2] = {};
                if (!ParseInts(t.value, 'x', 2, wh) || wh[0] <= 0 || wh[1] <= 0)
                    return Fail("minsize must be WIDTHxHEIGHT with positive numbers");
                window.minSize = {wh[0], wh[1]};
            } else if (t.key == "title") {
                if (!DecodeText(t.value, &window.title))
                    return Fail("title is not UTF-8");
            } else {
                return Fail("unknown window attribute \"" + t.key + "\"");
            }
        }
        if (!sized)
            return Fail("window \"" + tokens[1].value + "\" has no size");
        if (window.minSize.cx > window.size.cx || window.minSize.cy > window.size.cy)
            return Fail("minsize larger than size");
        m_package->windows.push_back(window);
        m_window = &m_package->windows.back();
        return true;
    }

    bool Control(const std::vector<Token>& tokens) {
        if (!m_window)
            return Fail("\"control\" outside a window");
        if (tokens.size() < 2 || tokens[1].attribute || !ValidName(tokens[1].value))
            return Fail("\"control\" needs a name");
        if (m_window->controls.size() >= kMaxControlsPerWindow)
            return Fail("too many controls");
        ControlSpec control;
        control.line = m_line;
        std::wstring wideName;
        if (!DecodeText(tokens[1].value, &wideName))
            return Fail("control name is not UTF-8");
        control.name = WideToAnsi(wideName);
        for (const ControlSpec& other : m_window->controls)
            if (other.name == control.name)
                return Fail("control \"" + tokens[1].value + "\" declared twice");
        bool hasClass = false;
        bool hasRect = false;
        for (size_t i = 2; i < tokens.size(); ++i) {
            const Token& t = tokens[i];
            if (!t.attribute)
                return Fail("unexpected word \"" + t.value + "\"");
            if (t.key == "class") {
                if (!ValidName(t.value))
                    return Fail("class needs a value");
                control.className = LowerAscii(t.value);
                hasClass = true;
            } else if (t.key == "rect") {
                int r[4] = {};
                if (!ParseInts(t.value, ',', 4, r) || r[2] < r[0] || r[3] < r[1])
                    return Fail("rect must be LEFT,TOP,RIGHT,BOTTOM with right >= left and bottom >= top");
                control.rect = {r[0], r[1], r[2], r[3]};
                hasRect = true;
            } else if (t.key == "anchor") {
                if (!ParseAnchors(t.value, &control.anchors))
                    return Fail("anchor must be \"all\", \"none\" or edges from left,top,right,bottom");
            } else if (t.key == "text") {
                if (!DecodeText(t.value, &control.text))
                    return Fail("text is not UTF-8");
            } else {
                return Fail("unknown control attribute \"" + t.key + "\"");
            }
        }
        if (!hasClass || !hasRect)
            return Fail("control \"" + tokens[1].value + "\" needs class= and rect=");
        m_window->controls.push_back(control);
        return true;
    }

    SkinPackage* m_package;
    std::string* m_error;
    WindowSpec* m_window = nullptr; // the open window block
    bool m_sawHeader = false;
    int m_line = 0;
};

} // namespace

RECT PlaceControl(const ControlSpec& control, SIZE design, SIZE client, UINT dpi) {
    // One axis: the designed span [low, high) in a designed extent, placed in the actual extent.
    const auto place = [](LONG low, LONG high, LONG designed, LONG actual, bool toLow, bool toHigh) {
        const LONG grow = actual - designed;
        if (toLow && toHigh)
            return std::make_pair(low, std::max(low, high + grow));
        if (toHigh)
            return std::make_pair(low + grow, high + grow);
        if (toLow)
            return std::make_pair(low, high);
        return std::make_pair(low + grow / 2, high + grow / 2);
    };
    // The package's coordinates are 96-DPI units: the design is taken at the window's DPI first.
    const auto px = [dpi](LONG value) { return static_cast<LONG>(vexil::ScaleToDpi(value, dpi)); };
    const RECT r = {px(control.rect.left), px(control.rect.top), px(control.rect.right),
                    px(control.rect.bottom)};
    design = {px(design.cx), px(design.cy)};
    const auto x = place(r.left, r.right, design.cx, client.cx, (control.anchors & kAnchorLeft) != 0,
                         (control.anchors & kAnchorRight) != 0);
    const auto y = place(r.top, r.bottom, design.cy, client.cy, (control.anchors & kAnchorTop) != 0,
                         (control.anchors & kAnchorBottom) != 0);
    return RECT{x.first, y.first, x.second, y.second};
}

const WindowSpec* SkinPackage::FindWindow(const std::wstring& name) const {
    for (const WindowSpec& window : windows)
        if (window.name == name)
            return &window;
    return nullptr;
}

bool ParseSkinPackage(const std::string& text, SkinPackage* package, std::string* error) {
    package->windows.clear();
    // The windows vector must not move while a block is open: reserve the limit's worth of room.
    package->windows.reserve(kMaxWindows);
    Parser parser(package, error);
    size_t start = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;
    int number = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ++number;
        if (line.size() > kMaxLineBytes) {
            *error = "line " + std::to_string(number) + ": line too long";
            return false;
        }
        if (line.find('\0') != std::string::npos) {
            *error = "line " + std::to_string(number) + ": NUL byte";
            return false;
        }
        if (!parser.Line(number, line))
            return false;
        start = end + 1;
    }
    return parser.Finish();
}

bool LoadSkinPackage(const std::wstring& path, SkinPackage* package, std::string* error) {
    vexil::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        *error = "cannot open the file (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size)) {
        *error = "cannot read the file size";
        return false;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxPackageBytes) {
        *error = "file larger than " + std::to_string(kMaxPackageBytes) + " bytes";
        return false;
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() && (!ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr) ||
                          read != text.size())) {
        *error = "cannot read the file";
        return false;
    }
    return ParseSkinPackage(text, package, error);
}

} // namespace vexilref

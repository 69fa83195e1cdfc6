// The page writer: template text, placement tags, page defaults, conditional blocks and
// variables into numbered page files.
#include "app/page_writer.h"

#include "app/message_box.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::string_view CrLf = "\r\n";

bool IsUrlSafe(unsigned char C)
{
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '.' ||
           C == '_' || C == '~' || C == '/' || C == '-';
}

// A value the writer puts between single quotes; template authors' values could otherwise end
// the attribute early.
std::string EscapeAttribute(const std::string& Value)
{
    std::string escaped;
    escaped.reserve(Value.size());
    for (char c : Value) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped.push_back(c);
        }
    }
    return escaped;
}

// Only an opening script tag starts a block that is copied unchanged; a tag that merely contains
// the word ("<noscript>", an attribute value) is parsed like any other.
bool IsScriptBlock(const std::string& TagText)
{
    constexpr std::string_view opening = "<script";
    if (TagText.size() <= opening.size() || LowerCase(TagText.substr(0, opening.size())) != opening) {
        return false;
    }
    const char next = TagText[opening.size()];
    return next == ' ' || next == '/' || next == '>';
}

const TVqValue* Attribute(const TVqValues& Attributes, const char* Name)
{
    return Attributes.Find(Name);
}

// The attribute as a number when present and at least Minimum, else Default.
int32_t NumberOr(const TVqValues& Attributes, const char* Name, int32_t Minimum, int32_t Default)
{
    const TVqValue* value = Attribute(Attributes, Name);
    if (value == nullptr) {
        return Default;
    }
    const int32_t number = value->AsInteger();
    return number == VqNotANumber || number < Minimum ? Default : number;
}

// " name='value'" from the attribute, else from the setting (in lower case), else nothing. The
// options window stores "Default" for "no alignment chosen", which is no attribute at all.
std::string OptionalAttribute(const TVqValues& Attributes, const char* Name, const std::string& Setting)
{
    if (const TVqValue* value = Attribute(Attributes, Name)) {
        return Concat(" ", Name, "='", EscapeAttribute(value->AsString()), "'");
    }
    if (Setting.empty() || SameText(Setting, "Default")) {
        return std::string();
    }
    return Concat(" ", Name, "='", EscapeAttribute(LowerCase(Setting)), "'");
}

std::string PageName(int32_t Number)
{
    return Number <= 1 ? std::string("index.html") : "index" + IntToStr(Number) + ".html";
}

void SetVariable(TVqValues& Vars, const char* Name, const std::string& Value)
{
    if (TVqValue* entry = Vars.Find(Name)) {
        entry->SetString(Value);
    }
}

void IncrementVariable(TVqValues& Vars, const char* Name)
{
    if (TVqValue* entry = Vars.Find(Name)) {
        entry->SetInteger(entry->AsInteger() + 1);
    }
}

} // namespace

std::string EncodeUrlPath(const std::string& Name)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(Name.size());
    for (char c : Name) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUrlSafe(byte)) {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[byte >> 4]);
            encoded.push_back(hex[byte & 15]);
        }
    }
    return encoded;
}

void CreatePageVariables(TVqValues& PageVars)
{
    PageVars.Clear();
    PageVars.Add(vqInteger, "next_page_number")->SetInteger(2);
    PageVars.Add(vqString, "next_page_url")->SetString("index2.html");
    PageVars.Add(vqInteger, "prev_page_number")->SetInteger(0);
    PageVars.Add(vqString, "prev_page_url")->SetString("");
    PageVars.Add(vqInteger, "total_pages")->SetInteger(1);
    PageVars.Add(vqInteger, "current_page")->SetInteger(1);
    PageVars.Add(vqString, "first_page_url")->SetString("index.html");
    PageVars.Add(vqString, "last_page_url")->SetString("index.html");
}

TPageWriter::TPageWriter(std::string_view TemplateText, TPageWriterSettings Settings,
                         const std::vector<std::string>& Pictures, TVqValues& PageVars,
                         const TVqValues* TemplateParams, IPageWriterHost& Host)
    : FTemplate(TemplateText.substr(0, std::min(TemplateText.find('\0'), TemplateText.size()))),
      FSettings(std::move(Settings)), FPictures(Pictures), FPageVars(PageVars),
      FTemplateParams(TemplateParams), FHost(Host), FOutBuffer(PageBufferSize)
{
    ResetPageDefaults();
}

TPageWriter::~TPageWriter() = default;

void TPageWriter::ResetPageDefaults()
{
    FPage = FSettings.Defaults;
}

TOutputTag TPageWriter::NextOutputTag(size_t& Position, TVqValues& Attributes)
{
    if (Position == 0) {
        ResetPageDefaults();
        FPlacedInPass = 0;
    }
    // The position rests on the last character consumed; 0 is the start of a pass.
    const size_t textFrom = Position == 0 ? 0 : std::min(Position + 1, FTemplate.size());
    int32_t line = 1;
    TOutputTag result;
    result.Tag = NextTag(FTemplate, Position, line);
    const std::string_view text(FTemplate);

    if (result.Tag.Text.empty()) {
        Position = 0;
        if (!WriteOutput(text.substr(textFrom))) {
            result.Error = pwWriteFailed;
        } else if (MoreImages) {
            if (FPlacedInPass == 0) {
                result.Error = pwNoPlacement;
            } else if (!NextPage()) {
                result.Error = pwWriteFailed;
            }
        }
        result.Tag = TTemplateTag{};
        return result;
    }

    Attributes.Clear();
    if (!IsScriptBlock(result.Tag.Text)) {
        std::string params;
        SplitTag(result.Tag.Text, result.Name, params);
        ParseTagParams(params, Attributes);
    }
    if (!WriteOutput(text.substr(textFrom, result.Tag.Start - textFrom))) {
        result.Error = pwWriteFailed;
    }
    return result;
}

TPagesResult TPageWriter::WritePages(const std::function<bool(bool Placing)>& AfterTag)
{
    InNext = InPrev = InNextElse = InPrevElse = false;
    const int32_t count = static_cast<int32_t>(FPictures.size());
    int32_t picture = 0;
    size_t position = 0;
    TVqValues attributes;
    for (bool placing : {true, false}) {
        MoreImages = placing;
        while (placing ? picture < count : position != 0) {
            const TOutputTag tag = NextOutputTag(position, attributes);
            if (tag.Error == pwNoPlacement) {
                return prNoPlacement;
            }
            if (tag.Error != pwNone) {
                return prFailed;
            }
            if (ExpandThumbsTag(picture, tag.Name, attributes, placing)) {
                if (picture < 0) {
                    return prFailed;
                }
            } else if (!tag.Tag.Raw.empty() && !WriteOutput(tag.Tag.Raw)) {
                return prFailed;
            }
            if (!AfterTag(placing)) {
                return prCancelled;
            }
        }
    }
    return prDone;
}

bool TPageWriter::TextHidden() const
{
    // Before the first write opens it, the page being composed is the first.
    const int32_t page = std::max(PageNumber, 1);
    const bool last = page == TotalPages;
    const bool first = page == 1;
    return (InNext && last) || (InNextElse && !last) || (InPrev && first) || (InPrevElse && !first);
}

bool TPageWriter::WriteOutput(std::string_view Text)
{
    if (TextHidden()) {
        return true;
    }
    if (!PageOpen() && !OpenPage(std::max(PageNumber, 1))) {
        return false;
    }
    std::string substituted;
    if (Text.find("@_") != std::string_view::npos) {
        substituted = SubstituteParams(Text);
        Text = substituted;
    }
    while (!Text.empty()) {
        const size_t room = FOutBuffer.size() - FOutCount;
        const size_t part = std::min(room, Text.size());
        std::copy_n(Text.data(), part, FOutBuffer.data() + FOutCount);
        FOutCount += part;
        Text.remove_prefix(part);
        if (FOutCount == FOutBuffer.size() && !Flush()) {
            return false;
        }
    }
    return true;
}

std::string TPageWriter::SubstituteParams(std::string_view Text) const
{
    std::string result;
    result.reserve(Text.size());
    std::string name;
    bool inName = false;
    for (size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        const bool pairFollows = i + 1 < Text.size();
        if (!inName) {
            if (c == '@' && pairFollows && Text[i + 1] == '_') {
                inName = true;
                name.clear();
                ++i;
            } else {
                result.push_back(c);
            }
            continue;
        }
        if (c == '_' && pairFollows && Text[i + 1] == '@') {
            ++i;
            inName = false;
            const TVqValue* value = FPageVars.Find(name);
            if (value == nullptr && FTemplateParams != nullptr) {
                value = FTemplateParams->Find(name);
            }
            result += value != nullptr ? value->AsString() : "@_" + name + "_@";
        } else {
            name.push_back(c);
        }
    }
    if (inName) {
        result += "@_" + name;
    }
    return result;
}

bool TPageWriter::NextPage()
{
    if (!Flush() || !ClosePage()) {
        return false;
    }
    // A first pass that wrote nothing still leaves the gallery its first page.
    if (PageNumber == 0 && !(OpenPage(1) && ClosePage())) {
        return false;
    }
    ++PageNumber;
    const int32_t n = PageNumber;
    IncrementVariable(FPageVars, "current_page");
    IncrementVariable(FPageVars, "next_page_number");
    SetVariable(FPageVars, "next_page_url", PageName(n + 1));
    IncrementVariable(FPageVars, "prev_page_number");
    SetVariable(FPageVars, "prev_page_url", PageName(n - 1));
    return OpenPage(n);
}

bool TPageWriter::OpenPage(int32_t Number)
{
    PageNumber = Number;
    FOutCount = 0;
    FPageFileName = FSettings.GalleryPath + PageName(Number);
    FHost.BeforePageWrite();
    try {
        FPageFile = std::make_unique<TSafeFileWriter>(FPageFileName);
    } catch (const EFCreateError& error) {
        FHost.ShowMessage(WithReason("Can't create the file: " + ShownName(FPageFileName),
                                     ReasonIn(error.what(), FPageFileName)));
        return false;
    }
    return true;
}

bool TPageWriter::Flush()
{
    if (FOutCount == 0 || !PageOpen()) {
        FOutCount = 0;
        return true;
    }
    FHost.BeforePageWrite();
    const int64_t count = static_cast<int64_t>(FOutCount);
    FOutCount = 0;
    try {
        FPageFile->Stream().WriteBuffer(FOutBuffer.data(), count);
    } catch (const EStreamError& error) {
        FPageFile.reset();
        FHost.WriteFailed(FPageFileName, ReasonIn(error.what(), FPageFileName));
        return false;
    }
    return true;
}

// The page takes its name; a full disk may only show when the last blocks reach it.
bool TPageWriter::ClosePage()
{
    if (!PageOpen()) {
        return true;
    }
    const std::unique_ptr<TSafeFileWriter> page = std::move(FPageFile);
    try {
        page->Commit();
    } catch (const EFCreateError& error) {
        FHost.WriteFailed(FPageFileName, ReasonIn(error.what(), FPageFileName));
        return false;
    }
    ++PagesWritten;
    return true;
}

bool TPageWriter::Finish()
{
    return Flush() && ClosePage();
}

std::string TPageWriter::PictureLink(int32_t Index) const
{
    return EscapeAttribute(FPage.ViewerPage) + EncodeUrlPath(FSettings.Prefix + FPictures[Index]);
}

std::string TPageWriter::ThumbnailSource(int32_t Index) const
{
    return EncodeUrlPath(FSettings.Prefix + "thumbs/" + ChangeFileExt(FPictures[Index], ".jpg"));
}

std::string TPageWriter::SpacerImage(int32_t BoxWidth, int32_t BoxHeight) const
{
    return "<img border='0' src='" + EncodeUrlPath(FSettings.Prefix + "spacer.gif") + "' width='" +
           IntToStr(BoxWidth) + "' height='" + IntToStr(BoxHeight) + "'>";
}

bool TPageWriter::ExpandThumbsTag(int32_t& Index, const std::string& Name, const TVqValues& Attributes,
                                  bool Place)
{
    const std::string name = LowerCase(Name);
    if (name == "thumb") {
        return ExpandThumb(Index, Attributes, Place);
    }
    if (name == "thumbs") {
        return ExpandThumbs(Index, Attributes);
    }
    if (name == "thumboption") {
        ApplyThumbOption(Attributes);
        return true;
    }
    return SetBlockFlags(name);
}

bool TPageWriter::ExpandThumb(int32_t& Index, const TVqValues& Attributes, bool Place)
{
    const int32_t boxWidth = NumberOr(Attributes, "width", 1, FPage.BoxWidth);
    const int32_t boxHeight = NumberOr(Attributes, "height", 1, FPage.BoxHeight);
    const bool placing = Place && Index >= 0 && Index < static_cast<int32_t>(FPictures.size());
    std::string html;
    if (placing) {
        FHost.MakeThumbnail(Index, boxWidth, boxHeight);
        ++FPlacedInPass;
        html = "<a href='" + PictureLink(Index) + "' target='_blank'><img border='0' src='" +
               ThumbnailSource(Index) + "'></a>";
    } else {
        html = SpacerImage(boxWidth, boxHeight);
    }
    if (!WriteOutput(html)) {
        Index = -1;
        return true;
    }
    FHost.StepProgress();
    ++Index;
    return true;
}

bool TPageWriter::ExpandThumbs(int32_t& Index, const TVqValues& Attributes)
{
    std::string tableAttributes;
    if (const TVqValue* tabWidth = Attribute(Attributes, "tabwidth")) {
        tableAttributes += " width='" + EscapeAttribute(tabWidth->AsString()) + "'";
    }
    // Browsers know the spacing as cellspacing and cellpadding; templates write cellspace and cellpad.
    tableAttributes += " border='" + IntToStr(NumberOr(Attributes, "border", 0, FPage.TableBorder)) + "'";
    tableAttributes +=
        " cellspacing='" + IntToStr(NumberOr(Attributes, "cellspace", 0, FPage.TableCellspace)) + "'";
    tableAttributes +=
        " cellpadding='" + IntToStr(NumberOr(Attributes, "cellpad", 0, FPage.TableCellpad)) + "'";
    const std::string align = OptionalAttribute(Attributes, "align", FPage.TableAlign);
    const std::string valign = OptionalAttribute(Attributes, "valign", FPage.TableVAlign);
    const std::string bgcolor = OptionalAttribute(Attributes, "bgcolor", FPage.TableBGColor);

    const int32_t boxWidth = NumberOr(Attributes, "width", 1, FPage.BoxWidth);
    const int32_t boxHeight = NumberOr(Attributes, "height", 1, FPage.BoxHeight);
    FPage.TableCols = NumberOr(Attributes, "cols", 1, FSettings.Defaults.TableCols);
    FPage.TableRows = NumberOr(Attributes, "rows", 1, FSettings.Defaults.TableRows);

    // Written a row at a time: the conditional blocks cannot change inside a table, and a large
    // table of fillers never has to sit in memory whole.
    std::string html = "<table" + tableAttributes + ">" + std::string(CrLf);
    const int32_t count = static_cast<int32_t>(FPictures.size());
    for (int32_t row = 0; row < FPage.TableRows; ++row) {
        html += "<tr>";
        html += CrLf;
        for (int32_t col = 0; col < FPage.TableCols; ++col) {
            if (Index >= 0 && Index < count) {
                FHost.MakeThumbnail(Index, boxWidth, boxHeight);
                ++FPlacedInPass;
                html += "<td" + bgcolor + align + valign + "><a href='" + PictureLink(Index) +
                        "' target='_blank'><img border='0' src='" + ThumbnailSource(Index) + "'></a></td>";
                FHost.StepProgress();
                ++Index;
            } else {
                html += "<td" + bgcolor + ">" + SpacerImage(boxWidth, boxHeight) + "</td>";
            }
        }
        html += "</tr>";
        html += CrLf;
        if (!WriteOutput(html)) {
            Index = -1;
            return true;
        }
        html.clear();
    }
    if (!WriteOutput("</table>" + std::string(CrLf))) {
        Index = -1;
    }
    return true;
}

void TPageWriter::ApplyThumbOption(const TVqValues& Attributes)
{
    // Values that are not numbers in range keep the page's current default.
    FPage.BoxWidth = NumberOr(Attributes, "width", 1, FPage.BoxWidth);
    FPage.BoxHeight = NumberOr(Attributes, "height", 1, FPage.BoxHeight);
    FPage.TableBorder = NumberOr(Attributes, "border", 0, FPage.TableBorder);
    FPage.TableCellspace = NumberOr(Attributes, "cellspace", 0, FPage.TableCellspace);
    FPage.TableCellpad = NumberOr(Attributes, "cellpad", 0, FPage.TableCellpad);
    if (const TVqValue* value = Attribute(Attributes, "align")) {
        FPage.TableAlign = value->AsString();
    }
    if (const TVqValue* value = Attribute(Attributes, "valign")) {
        FPage.TableVAlign = value->AsString();
    }
    if (const TVqValue* value = Attribute(Attributes, "bgcolor")) {
        FPage.TableBGColor = value->AsString();
    }
}

bool TPageWriter::SetBlockFlags(const std::string& Name)
{
    if (Name == "next") {
        InNext = true;
        InNextElse = false;
    } else if (Name == "nextelse") {
        InNextElse = true;
        InNext = false;
    } else if (Name == "/next") {
        InNext = false;
        InNextElse = false;
    } else if (Name == "prev") {
        InPrev = true;
        InPrevElse = false;
    } else if (Name == "prevelse") {
        InPrevElse = true;
        InPrev = false;
    } else if (Name == "/prev") {
        InPrev = false;
        InPrevElse = false;
    } else {
        return false;
    }
    return true;
}

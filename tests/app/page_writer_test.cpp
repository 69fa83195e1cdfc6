// The page writer: the bytes of every page for templates with tables, single thumbnails, page
// defaults, conditional blocks and variables, and the failures of page files on a full disk.
#include "app/page_writer.h"

#include "app/typed_values.h"
#include "platform/core/files.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr const char* Prefix = "0f3a9c21/";

// The run's side of the writer: records the thumbnails asked for and the failures reported.
class TRecordingHost : public IPageWriterHost
{
public:
    void MakeThumbnail(int32_t Index, int32_t BoxWidth, int32_t BoxHeight) override
    {
        Thumbnails.emplace_back(Index, BoxWidth, BoxHeight);
    }
    void BeforePageWrite() override
    {
        if (OnPageWrite) {
            OnPageWrite();
        }
    }
    void StepProgress() override { ++Steps; }
    void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
    void WriteFailed(const std::string& FileName, const std::string& Reason) override
    {
        Failed.push_back(FileName);
        Reasons.push_back(Reason);
    }

    std::vector<std::tuple<int32_t, int32_t, int32_t>> Thumbnails;
    std::vector<std::string> Messages;
    std::vector<std::string> Failed;
    std::vector<std::string> Reasons;
    int32_t Steps = 0;
    std::function<void()> OnPageWrite;
};

// One run of the writer over a template, into a folder of its own.
class PageWriter : public ::testing::Test
{
protected:
    PageWriter()
    {
        CreatePageVariables(FPageVars);
        FSettings.GalleryPath = FFolder.Path();
        FSettings.Prefix = Prefix;
        FSettings.Defaults.BoxWidth = 150;
        FSettings.Defaults.BoxHeight = 120;
    }

    // Writes the pages; PicturesPerPage gives the page count as stage 2 computes it.
    TPagesResult Write(const std::string& Template, std::vector<std::string> Pictures,
                       int32_t PicturesPerPage)
    {
        FPictures = std::move(Pictures);
        const auto count = static_cast<int32_t>(FPictures.size());
        const int32_t total = (count + PicturesPerPage - 1) / PicturesPerPage;
        FPageVars.Find("total_pages")->SetInteger(total);
        FPageVars.Find("last_page_url")
            ->SetString(total > 1 ? "index" + std::to_string(total) + ".html" : "index.html");
        TPageWriter writer(Template, FSettings, FPictures, FPageVars, &FParams, Host);
        writer.TotalPages = total;
        const TPagesResult result = writer.WritePages([](bool) { return true; });
        EXPECT_TRUE(writer.Finish());
        return result;
    }

    std::string Page(const std::string& Name) const { return kvtest::TempFolder::Read(FFolder.File(Name)); }
    // The page files in the folder, in order.
    std::vector<std::string> Pages() const
    {
        std::vector<std::string> names;
        for (const TDirEntry& entry : ListDirectory(FFolder.Path())) {
            names.push_back(entry.Name);
        }
        return names;
    }

    kvtest::TempFolder FFolder;
    TPageWriterSettings FSettings;
    TVqValues FPageVars;
    TVqValues FParams;
    std::vector<std::string> FPictures;
    TRecordingHost Host;
};

std::string Cell(const std::string& Picture, const std::string& Attributes = "")
{
    const std::string thumb = Picture.substr(0, Picture.rfind('.')) + ".jpg";
    return "<td" + Attributes + "><a href='" + Prefix + Picture + "' target='_blank'><img border='0' src='" +
           Prefix + "thumbs/" + thumb + "'></a></td>";
}

// A single thumbnail linking to its picture.
std::string Link(const std::string& Picture)
{
    return "<a href='" + std::string(Prefix) + Picture + "' target='_blank'><img border='0' src='" + Prefix +
           "thumbs/" + Picture + "'></a>";
}

std::string Filler(int32_t Width, int32_t Height, const std::string& Attributes = "")
{
    return "<td" + Attributes + "><img border='0' src='" + Prefix + "spacer.gif' width='" +
           std::to_string(Width) + "' height='" + std::to_string(Height) + "'></td>";
}

const std::string TableStart = "<table border='1' cellspacing='0' cellpadding='0'>\r\n";

} // namespace

TEST_F(PageWriter, TableSpreadsPicturesOverPagesAndFillsTheLastOne)
{
    ASSERT_EQ(Write("A<thumbs cols=2 rows=1>B", {"a.jpg", "b.gif", "c.jpg"}, 2), prDone);

    EXPECT_EQ(Pages(), (std::vector<std::string>{"index.html", "index2.html"}));
    EXPECT_EQ(Page("index.html"),
              "A" + TableStart + "<tr>\r\n" + Cell("a.jpg") + Cell("b.gif") + "</tr>\r\n</table>\r\nB");
    EXPECT_EQ(Page("index2.html"),
              "A" + TableStart + "<tr>\r\n" + Cell("c.jpg") + Filler(150, 120) + "</tr>\r\n</table>\r\nB");
    using T = std::tuple<int32_t, int32_t, int32_t>;
    EXPECT_EQ(Host.Thumbnails, (std::vector<T>{{0, 150, 120}, {1, 150, 120}, {2, 150, 120}}));
    EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(PageWriter, TableAttributesComeFromTheTagOrThePageDefaults)
{
    FSettings.Defaults.TableAlign = "Center";
    FSettings.Defaults.TableVAlign = "Default";
    FSettings.Defaults.TableBorder = 3;
    const struct
    {
        const char* Tag;
        std::string Table;
        std::string PictureCell;
        std::string FillerCell;
    } cases[] = {
        // The settings' alignment in lower case on picture cells only; "Default" means none.
        {"<thumbs cols=2 rows=1>", "<table border='3' cellspacing='0' cellpadding='0'>",
         Cell("a.jpg", " align='center'"), Filler(150, 120)},
        // A bgcolor goes into every cell and never onto the table.
        {"<thumbs cols=2 rows=1 bgcolor=#00FF00 align=left valign=top>",
         "<table border='3' cellspacing='0' cellpadding='0'>",
         Cell("a.jpg", " bgcolor='#00FF00' align='left' valign='top'"),
         Filler(150, 120, " bgcolor='#00FF00'")},
        // Spacing and padding under the names browsers know; the box size from the tag.
        {"<thumbs cols=2 rows=1 tabwidth=100% border=0 cellspace=4 cellpad=2 width=60 height=40>",
         "<table width='100%' border='0' cellspacing='4' cellpadding='2'>", Cell("a.jpg", " align='center'"),
         Filler(60, 40)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Tag);
        ASSERT_EQ(Write(c.Tag, {"a.jpg"}, 2), prDone);
        EXPECT_EQ(Page("index.html"),
                  c.Table + "\r\n<tr>\r\n" + c.PictureCell + c.FillerCell + "</tr>\r\n</table>\r\n");
    }
}

TEST_F(PageWriter, SingleThumbnailsAndPageDefaults)
{
    // thumboption changes the rest of the page; each page starts again from the settings.
    const std::string page = "<thumb>|<thumboption width=50 height=40 border=2>"
                             "<thumb>|<thumb width=30>|<thumbs cols=1 rows=1>";
    ASSERT_EQ(Write(page, {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}, 4), prDone);

    EXPECT_EQ(Page("index.html"), Link("a.jpg") + "|" + Link("b.jpg") + "|" + Link("c.jpg") + "|" +
                                      "<table border='2' cellspacing='0' cellpadding='0'>\r\n<tr>\r\n" +
                                      Cell("d.jpg") + "</tr>\r\n</table>\r\n");
    // The second page places e.jpg first; the rest of the page gets fillers at the page's sizes.
    EXPECT_EQ(Page("index2.html"), Link("e.jpg") + "|<img border='0' src='" + Prefix +
                                       "spacer.gif' width='50' height='40'>|<img border='0' src='" + Prefix +
                                       "spacer.gif' width='30' height='40'>|" +
                                       "<table border='2' cellspacing='0' cellpadding='0'>\r\n<tr>\r\n" +
                                       Filler(50, 40) + "</tr>\r\n</table>\r\n");
    using T = std::tuple<int32_t, int32_t, int32_t>;
    EXPECT_EQ(Host.Thumbnails,
              (std::vector<T>{{0, 150, 120}, {1, 50, 40}, {2, 30, 40}, {3, 50, 40}, {4, 150, 120}}));
}

TEST_F(PageWriter, ThumbOptionKeepsDefaultsForValuesThatAreNotNumbers)
{
    ASSERT_EQ(
        Write("<thumboption width=abc height=-5 border=x cellpad=-1><thumbs cols=2 rows=1>", {"a.jpg"}, 2),
        prDone);
    EXPECT_EQ(Page("index.html"),
              TableStart + "<tr>\r\n" + Cell("a.jpg") + Filler(150, 120) + "</tr>\r\n</table>\r\n");
}

TEST_F(PageWriter, ConditionalBlocksShowLinksByPage)
{
    const std::string page = "<prev><a href='@_prev_page_url_@'>back</a><prevelse>first</prev>"
                             "[@_current_page_@/@_total_pages_@]<thumb>"
                             "<next><a href='@_next_page_url_@'>on</a><nextelse>last</next>"
                             "(@_first_page_url_@ @_last_page_url_@)";
    ASSERT_EQ(Write(page, {"a.jpg", "b.jpg", "c.jpg"}, 1), prDone);

    const std::string tail = "(index.html index3.html)";
    EXPECT_EQ(Page("index.html"), "first[1/3]" + Link("a.jpg") + "<a href='index2.html'>on</a>" + tail);
    EXPECT_EQ(Page("index2.html"),
              "<a href='index.html'>back</a>[2/3]" + Link("b.jpg") + "<a href='index3.html'>on</a>" + tail);
    EXPECT_EQ(Page("index3.html"), "<a href='index2.html'>back</a>[3/3]" + Link("c.jpg") + "last" + tail);
}

TEST_F(PageWriter, OnePageGalleryShowsNeitherLink)
{
    ASSERT_EQ(Write("<prev>P</prev><thumbs cols=2 rows=1><next>N</next>", {"a.jpg"}, 2), prDone);
    EXPECT_EQ(Pages(), std::vector<std::string>{"index.html"});
    EXPECT_EQ(Page("index.html").find_first_of("PN"), std::string::npos);
}

TEST_F(PageWriter, PlacementInsideNextBlockIsConsumedButHiddenOnTheLastPage)
{
    ASSERT_EQ(Write("<next><thumb></next>.", {"a.jpg", "b.jpg"}, 1), prDone);
    EXPECT_NE(Page("index.html").find("a.jpg"), std::string::npos);
    EXPECT_EQ(Page("index2.html"), ".");
    EXPECT_EQ(Host.Thumbnails.size(), 2u);
}

TEST_F(PageWriter, VariablesAreReplacedByPageValuesAndParameters)
{
    FParams.Add(vqString, "title")->SetString("Holidays & friends");
    const struct
    {
        const char* Text;
        const char* Expected;
    } cases[] = {
        {"@_Title_@ on page @_CURRENT_PAGE_@", "Holidays & friends on page 1"},
        {"@_unknown_@ stays", "@_unknown_@ stays"},
        {"open @_title", "open @_title"},
        {"@_title_", "@_title_"},
        {"mail@_x", "mail@_x"},
        {"a@_b@_title_@", "a@_b@_title_@"},
        {"@", "@"},
        {"no variables", "no variables"},
    };
    TRecordingHost host;
    TPageWriter writer("", FSettings, FPictures, FPageVars, &FParams, host);
    for (const auto& c : cases) {
        EXPECT_EQ(writer.SubstituteParams(c.Text), c.Expected) << c.Text;
    }
}

TEST_F(PageWriter, ScriptBlocksAreCopiedUnchangedAndOnlyTheyAre)
{
    const std::string script = "<SCRIPT type='text/javascript'>\nvar t = '<thumbs>';\n</Script>";
    ASSERT_EQ(Write(script + "<noscript>x</noscript><thumb alt=script>", {"a.jpg"}, 1), prDone);
    EXPECT_EQ(Page("index.html"), script + "<noscript>x</noscript>" + Link("a.jpg"));
}

TEST_F(PageWriter, UnknownTagsKeepTheirBytesAndTextAfterTheLastTagEndsEachPage)
{
    ASSERT_EQ(Write("<a\nhref='x'>\t<thumb></a>\nend\n", {"a.jpg", "b.jpg"}, 1), prDone);
    for (const char* page : {"index.html", "index2.html"}) {
        const std::string text = Page(page);
        EXPECT_EQ(text.substr(0, 13), "<a\nhref='x'>\t") << page;
        EXPECT_EQ(text.substr(text.size() - 9), "</a>\nend\n") << page;
    }
}

TEST_F(PageWriter, NamesInLinksArePercentEncoded)
{
    const struct
    {
        const char* Name;
        const char* Encoded;
    } cases[] = {
        {"plain-name_1.jpg", "plain-name_1.jpg"},
        {"a~b/c.d", "a~b/c.d"},
        {"my photo.jpg", "my%20photo.jpg"},
        {"o'clock&more#1.jpg", "o%27clock%26more%231.jpg"},
        {"\xC3\xA9t\xC3\xA9.jpg", "%C3%A9t%C3%A9.jpg"},
        {"100%.jpg", "100%25.jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeUrlPath(c.Name), c.Encoded) << c.Name;
    }

    FSettings.Defaults.ViewerPage = "view.php?p=";
    ASSERT_EQ(Write("<thumb>", {"my photo.jpg"}, 1), prDone);
    EXPECT_EQ(Page("index.html"), "<a href='view.php?p=" + std::string(Prefix) +
                                      "my%20photo.jpg' target='_blank'><img border='0' src='" + Prefix +
                                      "thumbs/my%20photo.jpg'></a>");
}

TEST_F(PageWriter, LongPagesAreWrittenWhole)
{
    std::string text;
    for (int i = 0; text.size() < 3 * PageBufferSize + 17; ++i) {
        text += "line " + std::to_string(i) + " @_current_page_@\n";
    }
    ASSERT_EQ(Write(text + "<thumb>" + text, {"a.jpg", "b.jpg"}, 1), prDone);
    std::string expected = text;
    for (size_t at = expected.find("@_current_page_@"); at != std::string::npos;
         at = expected.find("@_current_page_@")) {
        expected.replace(at, 16, "2");
    }
    EXPECT_EQ(Page("index2.html"), expected + Link("b.jpg") + expected);
}

TEST_F(PageWriter, TemplateWithoutPlacementFailsInsteadOfWritingPagesWithoutEnd)
{
    EXPECT_EQ(Write("<p>nothing to place</p>", {"a.jpg"}, 1), prNoPlacement);
    EXPECT_EQ(Pages(), std::vector<std::string>{"index.html"});
}

TEST_F(PageWriter, PageThatCannotBeCreatedIsReported)
{
    ASSERT_TRUE(CreateDir(FFolder.File("index2.html")));
    EXPECT_EQ(Write("<thumb>", {"a.jpg", "b.jpg"}, 1), prFailed);
    EXPECT_EQ(Host.Messages, std::vector<std::string>{"Can't create the file: " +
                                                      FFolder.File("index2.html") + "\nIs a directory"});
    EXPECT_EQ(Page("index.html").find("a.jpg") != std::string::npos, true);
    EXPECT_EQ(Host.Thumbnails.size(), 1u);
}

// A page the disk has no room for is reported by name and reason and leaves no file, nor one of its making;
// an earlier page of that name stays as it was.
TEST_F(PageWriter, PageThatCannotBeWrittenLeavesNoFile)
{
    const std::string longText(PageBufferSize, 'x');
    const int64_t firstPage = static_cast<int64_t>(Link("a.jpg").size());
    const struct
    {
        const char* Case;
        int64_t Room;
        std::string Template;
        std::vector<std::string> Pictures;
        bool Earlier; // an earlier index.html
        std::string Failed;
        std::vector<std::string> Left;
    } cases[] = {
        {"no room at all", 0, "<thumb>", {"a.jpg"}, false, "index.html", {}},
        {"room for one block of a long page",
         PageBufferSize + 100,
         "<thumb>" + longText + longText,
         {"a.jpg"},
         false,
         "index.html",
         {}},
        {"room for the first page only",
         firstPage,
         "<thumb>",
         {"a.jpg", "b.jpg"},
         false,
         "index2.html",
         {"index.html"}},
        {"an earlier page stays", 0, "<thumb>", {"a.jpg"}, true, "index.html", {"index.html"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        kvtest::TempFolder folder;
        FSettings.GalleryPath = folder.Path();
        if (c.Earlier) {
            folder.Write("index.html", "earlier page");
        }
        Host.Failed.clear();
        Host.Reasons.clear();
        FPictures = c.Pictures;
        CreatePageVariables(FPageVars);
        {
            gallerytest::TGalleryRoom room(folder.Path(), c.Room);
            TPageWriter writer(c.Template, FSettings, FPictures, FPageVars, &FParams, Host);
            writer.TotalPages = static_cast<int32_t>(c.Pictures.size());
            const bool written = writer.WritePages([](bool) { return true; }) == prDone && writer.Finish();
            EXPECT_FALSE(written);
        }
        EXPECT_EQ(Host.Failed, std::vector<std::string>{folder.File(c.Failed)});
        EXPECT_EQ(Host.Reasons, std::vector<std::string>{"No space left on device"});
        std::vector<std::string> left;
        for (const TDirEntry& entry : ListDirectory(folder.Path())) {
            left.push_back(entry.Name);
        }
        EXPECT_EQ(left, c.Left);
        if (c.Earlier) {
            EXPECT_EQ(kvtest::TempFolder::Read(folder.File("index.html")), "earlier page");
        } else if (!c.Left.empty()) {
            EXPECT_EQ(kvtest::TempFolder::Read(folder.File("index.html")), Link("a.jpg"));
        }
    }
}

// While a page is written over an earlier one, the earlier one stays whole under the name; the new
// one takes it once complete.
TEST_F(PageWriter, EarlierPageStaysUntilTheNewOneIsComplete)
{
    FFolder.Write("index.html", "earlier page");
    std::vector<bool> earlierSeen;
    Host.OnPageWrite = [&] { earlierSeen.push_back(Page("index.html") == "earlier page"); };
    const std::string text(2 * PageBufferSize + 5, 'x');
    ASSERT_EQ(Write(text + "<thumb>", {"a.jpg"}, 1), prDone);
    EXPECT_EQ(earlierSeen, std::vector<bool>(4, true));
    EXPECT_EQ(Page("index.html"), text + Link("a.jpg"));
    EXPECT_EQ(Pages(), std::vector<std::string>{"index.html"});
}

TEST_F(PageWriter, CancelStopsAfterTheTag)
{
    TPageWriter writer("<thumb>|<thumb>", FSettings, FPictures, FPageVars, &FParams, Host);
    FPictures = {"a.jpg", "b.jpg", "c.jpg"};
    int32_t tags = 0;
    EXPECT_EQ(writer.WritePages([&](bool) { return ++tags < 2; }), prCancelled);
    EXPECT_EQ(tags, 2);
    EXPECT_EQ(Host.Thumbnails.size(), 2u);
    EXPECT_TRUE(writer.Finish());
    EXPECT_EQ(Page("index.html"), Link("a.jpg") + "|" + Link("b.jpg"));
}

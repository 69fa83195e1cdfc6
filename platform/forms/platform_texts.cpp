// TPlatformTexts: every catalog of the platform's own texts that the system ships for a locale,
// asked in order of preference, with the texts the platform now asks under new class names also
// found where older catalogs keep them.
#include "platform/forms/detail/platform_texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>
#include <memory>
#include <vector>

#include "platform/forms/detail/qt_bridge.h"

namespace FormsDetail {

namespace {

// Texts the platform asks for under a class name that its older catalogs do not know: the
// standard buttons' captions were the button box's, the file types ("Folder") the file
// dialog's or the icon provider's.
QStringList OlderContexts(const char* Context)
{
    const QLatin1String context(Context);
    if (context == QLatin1String("QPlatformTheme"))
        return {QStringLiteral("QDialogButtonBox")};
    if (context == QLatin1String("QAbstractFileIconProvider"))
        return {QStringLiteral("QFileIconProvider"), QStringLiteral("QFileDialog")};
    return {};
}

// The catalogs' names for a locale, most preferred first: its region's, its language's, then the
// language's other regions' (a Portuguese of Portugal reads Brazil's rather than English); for
// each, the catalog of the platform's base texts, then its older catalog of all its texts.
QStringList CatalogFiles(const QString& Folder, const QString& Locale)
{
    const QString language = Locale.section(QLatin1Char('_'), 0, 0);
    QStringList names{Locale};
    if (language != Locale)
        names.append(language);
    const QStringList regional = QDir(Folder).entryList(
        {QStringLiteral("qtbase_%1_*.qm").arg(language), QStringLiteral("qt_%1_*.qm").arg(language)},
        QDir::Files, QDir::Name);
    for (const QString& file : regional) {
        const QString name = file.section(QLatin1Char('_'), 1).chopped(3);
        if (!names.contains(name))
            names.append(name);
    }
    QStringList files;
    for (const QString& name : names)
        for (const char* catalog : {"qtbase", "qt"})
            files.append(QStringLiteral("%1/%2_%3.qm").arg(Folder, QLatin1String(catalog), name));
    return files;
}

} // namespace

// The catalogs as one translator: the first that has a text gives it.
class TPlatformCatalogs : public QTranslator
{
public:
    explicit TPlatformCatalogs(const QString& Locale)
    {
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        for (const QString& file : CatalogFiles(folder, Locale)) {
            auto catalog = std::make_unique<QTranslator>();
            if (catalog->load(file) && !catalog->isEmpty())
                FCatalogs.push_back(std::move(catalog));
        }
    }

    bool isEmpty() const override { return FCatalogs.empty(); }

    QString translate(const char* Context, const char* Source, const char* Disambiguation,
                      int Count) const override
    {
        const QStringList older = OlderContexts(Context);
        for (const auto& catalog : FCatalogs) {
            QString text = catalog->translate(Context, Source, Disambiguation, Count);
            for (qsizetype i = 0; text.isEmpty() && i < older.size(); ++i)
                text = catalog->translate(older[i].toLatin1().constData(), Source, Disambiguation, Count);
            if (!text.isEmpty())
                return text;
        }
        return {};
    }

private:
    std::vector<std::unique_ptr<QTranslator>> FCatalogs;
};

TPlatformTexts::TPlatformTexts(const std::string& Locale)
{
    if (Locale.empty())
        return;
    FCatalogs = std::make_unique<TPlatformCatalogs>(ToQ(Locale));
    if (!FCatalogs->isEmpty())
        FInstalled = QCoreApplication::installTranslator(FCatalogs.get());
}

TPlatformTexts::~TPlatformTexts()
{
    if (FInstalled)
        QCoreApplication::removeTranslator(FCatalogs.get());
}

} // namespace FormsDetail

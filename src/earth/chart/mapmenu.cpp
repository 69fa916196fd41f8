#include "earth/chart/mapmenu.h"

#include "core/error.h"
#include "earth/chart/chartwidget.h"
#include "earth/map/mapsource.h"
#include "earth/map/tilenetwork.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>

namespace tideplot {

namespace {

struct KindName {
    MapChoice::Kind Kind;
    const char* Name;
};
constexpr KindName kKindNames[] = {{MapChoice::Kind::None, "none"},
                                   {MapChoice::Kind::OpenStreetMap, "openstreetmap"},
                                   {MapChoice::Kind::OpenSeaMap, "openseamap"},
                                   {MapChoice::Kind::Mbtiles, "mbtiles"},
                                   {MapChoice::Kind::UrlTemplate, "url"}};

// The menu's entries, in order.
struct Entry {
    MapChoice::Kind Kind;
    const char* ObjectName;
    const char* Text;
};
constexpr Entry kEntries[] = {
    {MapChoice::Kind::None, "mapNone", "&None"},
    {MapChoice::Kind::OpenStreetMap, "mapOpenStreetMap", "&OpenStreetMap"},
    {MapChoice::Kind::OpenSeaMap, "mapOpenSeaMap", "OpenSea&Map seamarks over OpenStreetMap"},
    {MapChoice::Kind::Mbtiles, "mapMbtiles", "MB&Tiles file..."},
    {MapChoice::Kind::UrlTemplate, "mapCustomUrl", "&Custom URL..."},
};

class StandardDialogs final : public MapMenuDialogs {
public:
    QString askMbtilesFile(QWidget* parent, const QString& current) override
    {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Open a map of tiles"),
                                            current.isEmpty() ? QString() : QFileInfo(current).absolutePath(),
                                            QStringLiteral("MBTiles files (*.mbtiles);;All files (*)"));
    }
    QString askUrlTemplate(QWidget* parent, const QString& current) override
    {
        bool ok = false;
        const QString text =
            QInputDialog::getText(parent, QStringLiteral("Custom map"),
                                  QStringLiteral("URL of the tile server's tiles, with {z}, {x} and {y} (and {s} for "
                                                 "the subdomains a, b and c), e.g.\n%1")
                                      .arg(QString::fromLatin1(kOpenStreetMapUrl)),
                                  QLineEdit::Normal, current, &ok);
        return ok ? text.trimmed() : QString();
    }
    void showError(QWidget* parent, const QString& message) override
    {
        QMessageBox::warning(parent, QStringLiteral("Tideplot1"), message);
    }
};

// What the menu's actions share.
struct MenuState {
    ChartWidget* Chart = nullptr;
    QWidget* Parent = nullptr;
    QString SettingsFile;
    QSettings::Format SettingsFormat = QSettings::NativeFormat;
    std::shared_ptr<MapMenuDialogs> Dialogs;
    std::shared_ptr<TileNetwork> Network;
    MapChoice Current;
    QHash<int, QAction*> Actions; // by kind

    void check() const { Actions.value(static_cast<int>(Current.kind))->setChecked(true); }

    // Shows the choice; throws Error when it cannot be shown.
    void show(const MapChoice& choice)
    {
        if (!Network && choice.kind != MapChoice::Kind::None && choice.kind != MapChoice::Kind::Mbtiles)
            Network = std::make_shared<TileNetwork>();
        Chart->setMapSource(OpenMap(choice, Network));
        Current = choice;
        for (const auto& [kind, action] : Actions.asKeyValueRange())
            action->setStatusTip(kind == static_cast<int>(choice.kind) ? choice.text : QString());
    }

    void choose(const MapChoice& choice)
    {
        try {
            show(choice);
            QSettings settings(SettingsFile, SettingsFormat);
            WriteMapChoice(settings, choice);
        } catch (const Error& e) {
            Dialogs->showError(Parent, QString::fromStdString(e.what()));
        }
        check();
    }
};

} // namespace

MapChoice ReadMapChoice(QSettings& settings)
{
    settings.beginGroup(QLatin1String(kMapSettingsGroup));
    const QString name = settings.value(QLatin1String(kMapSourceKey)).toString();
    MapChoice choice{kDefaultMapKind, {}};
    for (const auto& [kind, kindName] : kKindNames) {
        if (name == QLatin1String(kindName))
            choice.kind = kind;
    }
    if (choice.kind == MapChoice::Kind::Mbtiles)
        choice.text = settings.value(QLatin1String(kMapMbtilesFileKey)).toString();
    if (choice.kind == MapChoice::Kind::UrlTemplate)
        choice.text = settings.value(QLatin1String(kMapUrlTemplateKey)).toString();
    settings.endGroup();
    return choice;
}

void WriteMapChoice(QSettings& settings, const MapChoice& choice)
{
    settings.beginGroup(QLatin1String(kMapSettingsGroup));
    for (const auto& [kind, name] : kKindNames) {
        if (kind == choice.kind)
            settings.setValue(QLatin1String(kMapSourceKey), QLatin1String(name));
    }
    if (choice.kind == MapChoice::Kind::Mbtiles)
        settings.setValue(QLatin1String(kMapMbtilesFileKey), choice.text);
    if (choice.kind == MapChoice::Kind::UrlTemplate)
        settings.setValue(QLatin1String(kMapUrlTemplateKey), choice.text);
    settings.endGroup();
    settings.sync();
}

std::shared_ptr<MapMenuDialogs> StandardMapMenuDialogs()
{
    return std::make_shared<StandardDialogs>();
}

QMenu* CreateMapMenu(ChartWidget* chart, QSettings& settings, QWidget* parent, MapMenuOptions options)
{
    auto state = std::make_shared<MenuState>();
    state->Chart = chart;
    state->Parent = parent;
    state->SettingsFile = settings.fileName();
    state->SettingsFormat = settings.format();
    state->Dialogs = options.Dialogs ? options.Dialogs : StandardMapMenuDialogs();
    state->Network = options.Network;

    auto* menu = new QMenu(QStringLiteral("&Map"), parent);
    menu->setObjectName(QStringLiteral("mapMenu"));
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    for (const Entry& entry : kEntries) {
        QAction* action = menu->addAction(QString::fromUtf8(entry.Text));
        action->setObjectName(QString::fromLatin1(entry.ObjectName));
        action->setCheckable(true);
        group->addAction(action);
        state->Actions.insert(static_cast<int>(entry.Kind), action);
        if (entry.Kind == MapChoice::Kind::OpenSeaMap)
            menu->addSeparator();
        const MapChoice::Kind kind = entry.Kind;
        QObject::connect(action, &QAction::triggered, menu, [state, kind] {
            if (kind == MapChoice::Kind::Mbtiles || kind == MapChoice::Kind::UrlTemplate) {
                QSettings kept(state->SettingsFile, state->SettingsFormat);
                kept.beginGroup(QLatin1String(kMapSettingsGroup));
                const bool file = kind == MapChoice::Kind::Mbtiles;
                const QString last =
                    kept.value(QLatin1String(file ? kMapMbtilesFileKey : kMapUrlTemplateKey)).toString();
                const QString text = file ? state->Dialogs->askMbtilesFile(state->Parent, last)
                                          : state->Dialogs->askUrlTemplate(state->Parent, last);
                if (text.isEmpty()) {
                    state->check();
                    return;
                }
                state->choose({kind, text});
                return;
            }
            state->choose({kind, {}});
        });
    }

    const MapChoice kept = ReadMapChoice(settings);
    try {
        state->show(kept);
    } catch (const Error& e) {
        state->Current = {};
        chart->setMapSource(nullptr);
        chart->reportMapMessage(QStringLiteral("No map: ") + QString::fromStdString(e.what()));
    }
    state->check();
    return menu;
}

} // namespace tideplot

// Handling a visitor-list reply in the console, offscreen: split, records, model
// reset and the view laid out for its visible rows. Beside it, in the same run, a
// bare scan of the same bytes for every separator (the floor) and the same rows
// put into a QTableWidget item by item.
#include "console/ConsoleDlg.h"
#include "net/ServerLink.h"
#include "platform/LoginStore.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QTableView>
#include <QTableWidget>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace kivora;

class NullTransport final : public net::ITransport {
public:
    net::TransportResult Get(const net::TransportRequest&, const std::atomic<bool>&) override { return {true, {}, {}}; }
};
class NullBoxes final : public platform::IMessageBoxes {
public:
    void Show(QWidget*, const QString&, const QString&, platform::BoxIcon) override {}
};
class NullBrowser final : public platform::IBrowser {
public:
    bool OpenUrl(const QString&) override { return true; }
    bool OpenServicePage(const QString&) override { return true; }
};
class NullSounds final : public platform::ISounds {
public:
    void Play(int, bool) override {}
};
class NullTray final : public platform::ITray {
public:
    void Add(const QIcon&, const QString&) override {}
    void Remove() override {}
    bool IsShown() const override { return false; }
    void SetActions(platform::TrayActions) override {}
};
class NullStore final : public platform::ILoginStore {
public:
    std::optional<std::string> Read(std::size_t) override { return std::nullopt; }
    bool Write(std::string_view) override { return true; }
    bool Remove() override { return true; }
};

std::string MakeReply(int rows)
{
    std::string reply;
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            reply += "<ln>";
        char session[32];
        std::snprintf(session, sizeof session, "%018x", 0x5a5a00u + static_cast<unsigned>(i));
        reply += std::string(session) + "<fld>203.0.113." + std::to_string(i % 250) + "<fld>" +
                 std::to_string(i % 7) + "<fld>" + (i % 50 == 0 ? "Chat Request" : "In Site") + "<fld>0:" +
                 std::to_string(10 + i % 50) + ":17<fld>Delete<fld><fld>Invite<fld>Pro-Pop<fld>/catalogue/item-" +
                 std::to_string(i) + ".html<fld>" + (i % 9 == 0 ? "ppc" : "");
    }
    return reply + "<blk>admin<fld>anna<blk><blk>";
}

struct Console {
    NullBoxes boxes;
    NullBrowser browser;
    NullSounds sounds;
    NullStore store;
    NullTray tray;
    platform::Platform platform{boxes, browser, sounds, store, tray};
    net::CServerLink link{std::make_shared<NullTransport>(), boxes, browser};
    console::CConsoleDlg dlg{link, platform};

    Console()
    {
        link.refreshIntervalMs = 3'600'000;
        dlg.SetLoginInfo("site1", "admin", "http://www.site1.example/");
        dlg.OnInitDialog();
        dlg.show();
    }
};

void ConsoleHandlesVisitorList(benchmark::State& state)
{
    const std::string reply = MakeReply(static_cast<int>(state.range(0)));
    Console console;
    for (auto _ : state) {
        console.dlg.OnServerReply(net::kKindVisitorList, reply);
        console.dlg.ListView()->doItemsLayout();
        console.dlg.ListView()->viewport()->repaint();
    }
    state.SetComplexityN(state.range(0));
    state.counters["rows"] = static_cast<double>(state.range(0));
}
BENCHMARK(ConsoleHandlesVisitorList)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();

void FloorScanForSeparators(benchmark::State& state)
{
    const std::string reply = MakeReply(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::size_t separators = 0;
        for (const char* p = reply.data(); (p = static_cast<const char*>(std::memchr(p, '<', reply.data() + reply.size() - p)));
             ++p)
            ++separators;
        benchmark::DoNotOptimize(separators);
    }
}
BENCHMARK(FloorScanForSeparators)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void TableWidgetItemByItem(benchmark::State& state)
{
    const std::string reply = MakeReply(static_cast<int>(state.range(0)));
    QTableWidget table(0, 4);
    table.resize(600, 200);
    table.show();
    for (auto _ : state) {
        table.setRowCount(0);
        const auto blocks = net::ParseVisitorListReply(reply);
        int row = 0;
        for (const auto& r : blocks.rows) {
            table.insertRow(row);
            table.setItem(row, 0, new QTableWidgetItem(QString::fromStdString(r[net::kRowAddress] + " - (" +
                                                                              r[net::kRowVisits] + ")")));
            table.setItem(row, 1, new QTableWidgetItem(QString::fromStdString(r[net::kRowStatus])));
            table.setItem(row, 2, new QTableWidgetItem(QString::fromStdString(r[net::kRowDuration])));
            table.setItem(row, 3, new QTableWidgetItem(QString::fromStdString(r[net::kRowPage])));
            ++row;
        }
        table.viewport()->repaint();
    }
}
BENCHMARK(TableWidgetItemByItem)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Handling a visitor-list reply in the console, offscreen: split, records, model
// update and the view laid out and painted for its visible rows by a turn of the
// event loop. Beside it, in the same run, a bare scan of the same bytes for every
// separator (the floor) and the same rows put into a QTableWidget item by item,
// laid out and painted the same way. The summary sets the console's CPU time
// against both and checks that the cost grows linearly. HostilePagesInTurn sets
// replies with page fields of hostile sizes against the ordinary one
// (--long_page_bytes=N makes its long pages shorter).
#include "BenchSummary.h"
#include "session/Session.h"
#include "BenchSupport.h"
#include "console/ConsoleDlg.h"
#include "net/ServerLink.h"
#include "net/Transport.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTableWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kivora;

class NullTransport final : public net::ITransport {
public:
    void Start(net::TransportRequest, net::AbandonFlag, net::TransportCompletion completion) override
    {
        completion({true, {}, {}});
    }
    void Abandon(const net::AbandonFlag&) override {}
};
std::string OrdinaryPage(int row)
{
    return "/catalogue/item-" + std::to_string(row) + ".html";
}

std::string MakeReply(int rows, const std::function<std::string(int)>& page = OrdinaryPage)
{
    std::string reply;
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            reply += "<ln>";
        char session[32];
        std::snprintf(session, sizeof session, "%018x", 0x5a5a00u + static_cast<unsigned>(i));
        reply += std::string(session) + "<fld>203.0.113." + std::to_string(i % 250) + "<fld>" +
                 std::to_string(i % 7) + "<fld>" + (i % 50 == 0 ? "Chat Request" : "In Site") + "<fld>0:" +
                 std::to_string(10 + i % 50) + ":17<fld>Delete<fld><fld>Invite<fld>Pro-Pop<fld>" + page(i) + "<fld>" +
                 (i % 9 == 0 ? "ppc" : "");
    }
    return reply + "<blk>admin<fld>anna<blk><blk>";
}

struct Console {
    bench::NullPlatform fakes;
    net::CServerLink link{std::make_shared<NullTransport>()};
    session::CSession session{link};
    console::CConsoleDlg dlg{session, fakes.platform};

    Console()
    {
        session.SetPeriods(3'600'000, session.ChatPollIntervalMs());
        dlg.SetLoginInfo("site1", "admin", "http://www.site1.example/");
        dlg.OnInitDialog();
        dlg.show();
        // The window is exposed only once its events ran; until then a repaint
        // paints nothing.
        QCoreApplication::processEvents();
    }
};

// One turn of the event loop, as after every reply: the view runs whatever layout
// it scheduled for itself and paints what it marked. A layout run from a timer
// posts its repaint, which belongs to the same turn; nothing is left over to be
// counted against whatever runs next.
void RunEventLoopTurn()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
}

// The reply handled as the program handles it, then a turn of the event loop.
// Forcing a full layout instead (doItemsLayout) would repaint the whole scroll
// area, headers and scroll bars, which the view does not do when rows only change.
void HandleInConsole(Console& console, const std::string& reply)
{
    console.dlg.OnVisitorListReply(reply);
    RunEventLoopTurn();
}

void ConsoleHandlesVisitorList(benchmark::State& state)
{
    const std::string reply = MakeReply(static_cast<int>(state.range(0)));
    Console console;
    for (auto _ : state)
        HandleInConsole(console, reply);
    state.SetComplexityN(state.range(0));
    state.counters["rows"] = static_cast<double>(state.range(0));
}
BENCHMARK(ConsoleHandlesVisitorList)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->Complexity(benchmark::oN);

std::size_t ScanForSeparators(const std::string& reply)
{
    std::size_t separators = 0;
    for (const char* p = reply.data(); (p = static_cast<const char*>(std::memchr(p, '<', reply.data() + reply.size() - p)));
         ++p)
        ++separators;
    return separators;
}

void FloorScanForSeparators(benchmark::State& state)
{
    const std::string reply = MakeReply(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ScanForSeparators(reply));
}
BENCHMARK(FloorScanForSeparators)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Repetitions(5);

// A QTableWidget with the same visible area as the console's list, so that both
// paint the same cells.
struct Table {
    QTableWidget table{0, 4};

    Table()
    {
        QSize viewSize;
        int rowHeight = 0;
        int columnWidths[4] = {};
        {
            Console console;
            const QTableView* view = console.dlg.ListView();
            viewSize = view->size();
            rowHeight = view->verticalHeader()->defaultSectionSize();
            for (int column = 0; column < 4; ++column)
                columnWidths[column] = view->columnWidth(column);
        }
        table.resize(viewSize);
        table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table.verticalHeader()->setDefaultSectionSize(rowHeight);
        for (int column = 0; column < 4; ++column)
            table.setColumnWidth(column, columnWidths[column]);
        table.show();
        QCoreApplication::processEvents();
    }

    void Fill(const std::string& reply)
    {
        table.setRowCount(0);
        const auto blocks = net::ParseVisitorListReply(reply);
        int row = 0;
        for (const auto& r : blocks.rows) {
            table.insertRow(row);
            const auto text = [&r](int field) { return QString::fromUtf8(r[field].data(), qsizetype(r[field].size())); };
            table.setItem(row, 0, new QTableWidgetItem(text(net::kRowAddress) + QStringLiteral(" - (") +
                                                       text(net::kRowVisits) + QStringLiteral(")")));
            table.setItem(row, 1, new QTableWidgetItem(text(net::kRowStatus)));
            table.setItem(row, 2, new QTableWidgetItem(text(net::kRowDuration)));
            table.setItem(row, 3, new QTableWidgetItem(text(net::kRowPage)));
            ++row;
        }
        // Laid out and painted as the console's list is: by a turn of the event
        // loop, which runs the layout the view scheduled when its rows changed.
        RunEventLoopTurn();
    }
};

void TableWidgetItemByItem(benchmark::State& state)
{
    const std::string reply = MakeReply(static_cast<int>(state.range(0)));
    Table table;
    for (auto _ : state)
        table.Fill(reply);
}
BENCHMARK(TableWidgetItemByItem)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The three with 10,000 rows in turn, round after round, each timed on this
// thread's CPU clock: a busy machine then slows all alike, and each ratio is the
// median of the rounds' ratios.
void TenThousandRowsInTurn(benchmark::State& state)
{
    const std::string reply = MakeReply(10'000);
    // The same visitors a second later: every row's time on the site has moved
    // on, so every row in sight is painted again.
    std::string later = reply;
    for (std::size_t at = 0; (at = later.find(":17<fld>", at)) != std::string::npos; at += 8)
        later[at + 2] = '8';
    const std::string alternate[2] = {reply, later};
    Console console;
    Console moving;
    Table table;
    std::vector<double> inConsole, overFloor, tableOverConsole, allChanged;
    for (auto _ : state) {
        for (int round = 0; round < 60; ++round) {
            const double t0 = bench::ThreadCpuSeconds();
            HandleInConsole(console, reply);
            const double t1 = bench::ThreadCpuSeconds();
            benchmark::DoNotOptimize(ScanForSeparators(reply));
            const double t2 = bench::ThreadCpuSeconds();
            table.Fill(reply);
            const double t3 = bench::ThreadCpuSeconds();
            HandleInConsole(moving, alternate[round % 2]);
            const double t4 = bench::ThreadCpuSeconds();
            inConsole.push_back(t1 - t0);
            overFloor.push_back((t1 - t0) / (t2 - t1));
            tableOverConsole.push_back((t3 - t2) / (t1 - t0));
            allChanged.push_back(t4 - t3);
        }
        state.SetIterationTime(bench::Median(inConsole));
    }
    state.counters["console_ms"] = bench::Median(inConsole) * 1e3;
    state.counters["over_floor"] = bench::Median(overFloor);
    state.counters["table_over_console"] = bench::Median(tableOverConsole);
    state.counters["all_changed_ms"] = bench::Median(allChanged) * 1e3;
}
BENCHMARK(TenThousandRowsInTurn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// 100, 1,000 and 10,000 rows in turn, each list in a console of its own that
// keeps its size, timed on this thread's CPU clock: the medians give the cost of
// an added row low and high in the range.
void RowCountsInTurn(benchmark::State& state)
{
    const std::string replies[3] = {MakeReply(100), MakeReply(1'000), MakeReply(10'000)};
    Console consoles[3];
    std::vector<double> times[3];
    for (auto _ : state) {
        for (int round = 0; round < 60; ++round) {
            for (int size = 0; size < 3; ++size) {
                const double t0 = bench::ThreadCpuSeconds();
                HandleInConsole(consoles[size], replies[size]);
                times[size].push_back(bench::ThreadCpuSeconds() - t0);
            }
        }
        state.SetIterationTime(bench::Median(times[2]));
    }
    state.counters["ms_100"] = bench::Median(times[0]) * 1e3;
    state.counters["ms_1000"] = bench::Median(times[1]) * 1e3;
    state.counters["ms_10000"] = bench::Median(times[2]) * 1e3;
}
BENCHMARK(RowCountsInTurn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The length of the long page fields of HostilePagesInTurn; the command line can
// make it smaller.
long long longPageBytes = 1'048'576;
// The rows in sight at the top of the list, those that get the long pages.
constexpr int kLongPageRows = 5;
// Wall time the rounds of HostilePagesInTurn may take.
constexpr double kHostileBudget = 20;

// A page address of `bytes` bytes, no blank in it.
std::string LongPage(std::size_t bytes, int row)
{
    std::string page = "/p" + std::to_string(row) + "/";
    const std::size_t head = page.size();
    page.resize(std::max(bytes, head));
    for (std::size_t i = head; i < page.size(); ++i)
        page[i] = static_cast<char>('a' + i % 26);
    page.resize(bytes);
    return page;
}

// The page length at which 10,000 rows share out what the rest of the reply
// leaves of cap bytes.
std::size_t FullPageBytes(std::size_t cap)
{
    return (cap - MakeReply(10'000, [](int) { return std::string(); }).size()) / 10'000;
}

std::string MakeFullReply(std::size_t cap)
{
    return MakeReply(10'000, [each = FullPageBytes(cap)](int row) { return LongPage(each, row); });
}

// Outside text of hostile sizes, each reply in a console of its own, in turn with
// the ordinary 10,000 rows and timed on this thread's CPU clock: 10,000 rows whose
// first five, those in sight, have a page of 1 MiB, and 10,000 rows whose pages
// together fill the largest reply the transport takes (16 MiB; 10,000 pages of
// 1 MiB each could never arrive). The rounds stop when their time budget is spent.
void HostilePagesInTurn(benchmark::State& state)
{
    const std::size_t cap = net::TransportLimits{}.maxBodyBytes;
    const std::string replies[3] = {
        MakeReply(10'000),
        MakeReply(10'000,
                  [](int row) {
                      return row < kLongPageRows ? LongPage(static_cast<std::size_t>(longPageBytes), row)
                                                 : OrdinaryPage(row);
                  }),
        MakeFullReply(cap)};
    if (replies[1].size() > cap || replies[2].size() > cap) {
        state.SkipWithError("a reply is larger than the transport takes");
        return;
    }
    Console consoles[3];
    std::vector<double> times[3], overOrdinary[2];
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto withinBudget = [start] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < kHostileBudget;
        };
        for (int round = 0; round < 60 && withinBudget(); ++round) {
            double spent[3];
            for (int kind = 0; kind < 3; ++kind) {
                const double t0 = bench::ThreadCpuSeconds();
                HandleInConsole(consoles[kind], replies[kind]);
                spent[kind] = bench::ThreadCpuSeconds() - t0;
                times[kind].push_back(spent[kind]);
            }
            overOrdinary[0].push_back(spent[1] / spent[0]);
            overOrdinary[1].push_back(spent[2] / spent[0]);
        }
        state.SetIterationTime(bench::Median(times[1]));
    }
    state.counters["rounds"] = static_cast<double>(times[0].size());
    state.counters["ordinary_ms"] = bench::Median(times[0]) * 1e3;
    state.counters["long_ms"] = bench::Median(times[1]) * 1e3;
    state.counters["long_max_ms"] = *std::max_element(times[1].begin(), times[1].end()) * 1e3;
    state.counters["full_ms"] = bench::Median(times[2]) * 1e3;
    state.counters["long_ratio"] = bench::Median(overOrdinary[0]);
    state.counters["full_ratio"] = bench::Median(overOrdinary[1]);
    state.counters["full_reply_mib"] = static_cast<double>(replies[2].size()) / (1 << 20);
    state.counters["full_page_bytes"] = static_cast<double>(FullPageBytes(cap));
    state.counters["full_bytes_ratio"] =
        static_cast<double>(replies[2].size()) / static_cast<double>(replies[0].size());
}
BENCHMARK(HostilePagesInTurn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void SummarizeHostile(const bench::CSummaryReporter& runs)
{
    using bench::Format;
    const bench::Timing* run = runs.Find("HostilePagesInTurn");
    if (!run)
        return;
    const auto c = [run](const char* name) { return static_cast<double>(run->counters.at(name)); };
    const std::string reference = Format("ordinary 10,000 rows %.2f ms", c("ordinary_ms"));
    const std::string longName =
        longPageBytes == 1'048'576 ? std::string("1 MiB") : Format("%lld-byte", longPageBytes);
    bench::PrintResult({"9", "visitor list, 10,000 rows, the 5 in sight with " + longName + " pages (in turn, CPU)",
                        Format("%.2f ms (max %.2f ms)", c("long_ms"), c("long_max_ms")), reference,
                        Format("%.2fx", c("long_ratio")), "<= 4x", c("long_ratio") <= 4});
    // No target: a reply at the transport's cap brings many times the ordinary
    // reply's bytes, and every one of them is read and kept.
    bench::PrintResult({"9",
                        Format("visitor list, 10,000 rows of %.0f-byte pages, a %.1f MiB reply at the transport's cap "
                               "(in turn, CPU)",
                               c("full_page_bytes"), c("full_reply_mib")),
                        Format("%.2f ms", c("full_ms")), reference, Format("%.2fx", c("full_ratio")),
                        Format("none: %.0fx the bytes of the ordinary reply", c("full_bytes_ratio")), false, true});
}

void SummarizeOrdinary(const bench::CSummaryReporter& runs)
{
    using bench::Format;
    const bench::Timing* console[3] = {runs.Find("ConsoleHandlesVisitorList/100"),
                                       runs.Find("ConsoleHandlesVisitorList/1000"),
                                       runs.Find("ConsoleHandlesVisitorList/10000")};
    const bench::Timing* floor = runs.Find("FloorScanForSeparators/10000");
    const bench::Timing* table = runs.Find("TableWidgetItemByItem/10000");
    if (!console[0] || !console[1] || !console[2] || !floor || !table) {
        std::printf("summary: run all benchmarks of this program for the ratios\n");
        return;
    }
    const double ms = 1e3;
    const double tenK = console[2]->cpu;
    bench::PrintResult({"1", "visitor list, 10,000 rows (CPU)", Format("%.2f ms (wall %.2f ms)", tenK * ms, console[2]->real * ms),
                        "-", "-", "<= 1.5 ms", tenK <= 1.5e-3});
    if (const bench::Timing* inTurn = runs.Find("TenThousandRowsInTurn")) {
        const auto c = [inTurn](const char* name) { return static_cast<double>(inTurn->counters.at(name)); };
        bench::PrintResult({"1", "visitor list vs separator scan (in turn)", Format("%.2f ms", c("console_ms")),
                            Format("floor %.3f ms", floor->cpu * ms), Format("%.1fx the floor", c("over_floor")),
                            "<= 3x", c("over_floor") <= 3});
        bench::PrintResult({"1", "visitor list, 10,000 rows, every row's time on the site moved on (in turn, CPU)",
                            Format("%.2f ms", c("all_changed_ms")), Format("unchanged rows %.2f ms", c("console_ms")),
                            Format("%.2fx", c("all_changed_ms") / c("console_ms")),
                            "none: the rows in sight painted again", true});
        bench::PrintResult({"1", "visitor list vs QTableWidget (in turn)", Format("%.2f ms", c("console_ms")),
                            Format("QTableWidget %.2f ms", table->cpu * ms),
                            Format("%.1fx faster", c("table_over_console")), ">= 10x faster",
                            c("table_over_console") >= 10});
    }
    // Linear: a row costs as much at the top of the range as lower down (a
    // fixed part, the painting of the visible rows, drops out of the slopes).
    if (const bench::Timing* sizes = runs.Find("RowCountsInTurn")) {
        const auto c = [sizes](const char* name) { return static_cast<double>(sizes->counters.at(name)) * 1e-3; };
        const double lowSlope = (c("ms_1000") - c("ms_100")) / 900;
        const double highSlope = (c("ms_10000") - c("ms_1000")) / 9000;
        bench::PrintResult({"1", "visitor list, cost of an added row (in turn)",
                            Format("%.0f ns/row (1k-10k)", highSlope * 1e9),
                            Format("%.0f ns/row (100-1k)", lowSlope * 1e9), Format("%.2f", highSlope / lowSlope),
                            "linear (ratio <= 1.5)", lowSlope > 0 && highSlope <= 1.5 * lowSlope});
    }
}

void Summarize(const bench::CSummaryReporter& runs)
{
    SummarizeOrdinary(runs);
    SummarizeHostile(runs);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    longPageBytes = kivora::bench::TakeSizeOption(argc, argv, "--long_page_bytes", longPageBytes);
    return kivora::bench::RunWithSummary(argc, argv, Summarize);
}

#include "BenchSuite.h"

#include "HeapMeter.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// Position of this library's one-piece parse in the list of contenders.
constexpr std::size_t kKivoIndex = 3;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

BenchSuite::BenchSuite(std::vector<Contender> peers, std::size_t rounds)
    : peers_(std::move(peers)), rounds_(rounds) {}

void BenchSuite::WriteHeader(std::ostream& out) {
    out << "shape\tmib\tbytes\ttags\tmeasure\tmedian_s\tmin_s\tmax_s\tmb_per_s\tratio_to_expat"
           "\theap_bytes_per_tag\tnew_calls_per_tag\n";
}

bool BenchSuite::CheckTagCount(const Contender& contender, void* tree, std::size_t expected) {
    if (contender.countTags == nullptr) {
        return true;
    }
    const std::size_t found = contender.countTags(tree);
    if (found != expected) {
        std::cerr << contender.label << ": " << found << " tags, expected " << expected << "\n";
        return false;
    }
    return true;
}

bool BenchSuite::MeasureParse(const Contender& contender, const GeneratedDocument& doc,
                              Series& parse, Series& destroy) {
    HeapMeter::Settle();
    const std::size_t heapBefore = HeapMeter::LiveBytes();
    const std::size_t newCallsBefore = HeapMeter::NewCalls();
    const Clock::time_point parseStart = Clock::now();
    void* const tree = contender.parse(doc.text);
    const double parseSeconds = SecondsSince(parseStart);
    if (tree == nullptr) {
        parse.refused = true;
        destroy.refused = true;
        return true;
    }
    const std::size_t newCalls = HeapMeter::NewCalls() - newCallsBefore;
    const std::size_t heapAfter = HeapMeter::LiveBytes();
    const bool countOk = CheckTagCount(contender, tree, doc.tagCount);
    const Clock::time_point destroyStart = Clock::now();
    contender.destroy(tree);
    HeapMeter::Settle();
    const double destroySeconds = SecondsSince(destroyStart);
    parse.seconds.push_back(parseSeconds);
    destroy.seconds.push_back(destroySeconds);
    if (contender.countTags != nullptr) {
        const double tags = static_cast<double>(doc.tagCount);
        parse.heapPerTag = static_cast<double>(heapAfter - std::min(heapAfter, heapBefore)) / tags;
        parse.newCallsPerTag = static_cast<double>(newCalls) / tags;
    }
    return countOk;
}

bool BenchSuite::MeasureClone(const GeneratedDocument& doc, Series& clone) {
    const Contender kivo = MakeKivoContender();
    void* const tree = kivo.parse(doc.text);
    if (tree == nullptr) {
        clone.refused = true;
        return true;
    }
    HeapMeter::Settle();
    const std::size_t heapBefore = HeapMeter::LiveBytes();
    const std::size_t newCallsBefore = HeapMeter::NewCalls();
    const Clock::time_point start = Clock::now();
    void* const copy = CloneKivoTree(tree);
    clone.seconds.push_back(SecondsSince(start));
    const double tags = static_cast<double>(doc.tagCount);
    const std::size_t heapAfter = HeapMeter::LiveBytes();
    clone.heapPerTag = static_cast<double>(heapAfter - std::min(heapAfter, heapBefore)) / tags;
    clone.newCallsPerTag = static_cast<double>(HeapMeter::NewCalls() - newCallsBefore) / tags;
    const bool countOk = CheckTagCount(kivo, copy, doc.tagCount);
    kivo.destroy(copy);
    kivo.destroy(tree);
    HeapMeter::Settle();
    return countOk;
}

bool BenchSuite::Run(DocumentShape shape, std::size_t mebibytes, std::ostream& out) {
    const GeneratedDocument doc = DocumentGenerator::Generate(shape, mebibytes << 20);
    std::vector<Contender> contenders = {MakeBareExpatContender(), MakeBareExpatPiecesContender(),
                                         MakeExpatEmptyHandlersContender(), MakeKivoContender(),
                                         MakeKivoPiecesContender()};
    contenders.insert(contenders.end(), peers_.begin(), peers_.end());
    std::vector<Series> parses(contenders.size());
    std::vector<Series> destroys(contenders.size());
    for (std::size_t i = 0; i < contenders.size(); ++i) {
        parses[i].label = std::string(contenders[i].label) + " parse";
        destroys[i].label = std::string(contenders[i].label) + " destroy";
    }
    Series clone{"nkKivo clone", {}, -1.0, -1.0, false};
    bool ok = true;
    for (std::size_t round = 0; round <= rounds_ && ok; ++round) {
        for (std::size_t i = 0; i < contenders.size() && ok; ++i) {
            if (!parses[i].refused) {
                ok = MeasureParse(contenders[i], doc, parses[i], destroys[i]);
            }
        }
        ok = ok && MeasureClone(doc, clone);
        if (round == 0) {
            // The first round warms caches and the heap; it is not counted.
            for (Series& series : parses) {
                series.seconds.clear();
            }
            for (Series& series : destroys) {
                series.seconds.clear();
            }
            clone.seconds.clear();
        }
    }
    if (!ok) {
        return false;
    }
    const double floorSeconds = Median(parses[0].seconds);
    WriteRow(out, shape, mebibytes, doc, parses[0], floorSeconds);
    for (std::size_t i = 1; i < contenders.size(); ++i) {
        WriteRow(out, shape, mebibytes, doc, parses[i], floorSeconds);
        if (contenders[i].countTags != nullptr) {
            WriteRow(out, shape, mebibytes, doc, destroys[i], floorSeconds);
        }
        if (i == kKivoIndex) {
            WriteRow(out, shape, mebibytes, doc, clone, floorSeconds);
        }
    }
    out.flush();
    return true;
}

double BenchSuite::Median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

void BenchSuite::WriteRow(std::ostream& out, DocumentShape shape, std::size_t mebibytes,
                          const GeneratedDocument& doc, const Series& series, double floorSeconds) {
    out << DocumentGenerator::ShapeName(shape) << '\t' << mebibytes << '\t' << doc.text.size()
        << '\t' << doc.tagCount << '\t' << series.label << '\t';
    if (series.refused || series.seconds.empty()) {
        out << "refused\t\t\t\t\t\t\n";
        return;
    }
    const double median = Median(series.seconds);
    const auto [low, high] = std::minmax_element(series.seconds.begin(), series.seconds.end());
    out << median << '\t' << *low << '\t' << *high << '\t'
        << static_cast<double>(doc.text.size()) / median / 1e6 << '\t' << median / floorSeconds
        << '\t';
    if (series.heapPerTag >= 0.0) {
        out << series.heapPerTag << '\t' << series.newCallsPerTag;
    } else {
        out << '\t';
    }
    out << '\n';
}

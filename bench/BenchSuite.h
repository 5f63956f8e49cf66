#ifndef NKKIVO_BENCH_BENCHSUITE_H
#define NKKIVO_BENCH_BENCHSUITE_H

#include "Contender.h"
#include "DocumentGenerator.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// Measures every contender on one document in rounds: each round runs each
// measurement once, so a burst of load from elsewhere on the machine hits all
// of them alike, and the first round only warms caches and the heap. Writes
// one tab-separated row per measurement with its median.
class BenchSuite {
  public:
    BenchSuite(std::vector<Contender> peers, std::size_t rounds);

    // Writes the column names.
    static void WriteHeader(std::ostream& out);
    // Returns false when a library built a tree with the wrong tag count.
    bool Run(DocumentShape shape, std::size_t mebibytes, std::ostream& out);

  private:
    struct Series {
        std::string label;
        std::vector<double> seconds;
        double heapPerTag = -1.0;
        double newCallsPerTag = -1.0;
        bool refused = false;
    };

    bool MeasureParse(const Contender& contender, const GeneratedDocument& doc, Series& parse,
                      Series& destroy);
    bool MeasureClone(const GeneratedDocument& doc, Series& clone);
    static bool CheckTagCount(const Contender& contender, void* tree, std::size_t expected);
    static double Median(std::vector<double> values);
    static void WriteRow(std::ostream& out, DocumentShape shape, std::size_t mebibytes,
                         const GeneratedDocument& doc, const Series& series, double floorSeconds);

    std::vector<Contender> peers_;
    std::size_t rounds_;
};

#endif

// Playing any book under the rules: a few simulated readers of each kind and
// a recorded adventure go to their end without a crash or a hang, and the
// report holds together.
#include "book/bookreader.h"
#include "play/simulation.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    BookReader reader;
    if (!reader.read(bytes))
        return 0;
    Rules rules;
    rules.stepLimit = 200;
    const Playbook book(reader.book());
    for (const Simulation::Strategy strategy : {Simulation::Random, Simulation::Cautious}) {
        Simulation simulation(book, strategy, rules);
        const Simulation::Report report = simulation.run(8, 7);
        int ended = 0;
        for (const int n : report.finished)
            ended += n;
        for (const QVector<int> &n : report.deaths)
            for (const int d : n)
                ended += d;
        for (const int n : report.broken)
            ended += n;
        for (const int n : report.looped)
            ended += n;
        if (book.first() >= 0 && ended != report.adventures)
            abort();
        simulation.text(report);
        simulation.json(report);
    }
    return 0;
}

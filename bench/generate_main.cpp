// tvx-bench-generate N: fills the benchmark server's store with N records.
#include "BenchStore.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::StoreShape shape;
    if (argc > 1)
        shape.records = std::atoi(argv[1]);
    if (bench::storedShapeTag() == bench::shapeTag(shape)) {
        std::cout << "store already holds " << shape.records << " records\n";
        return 0;
    }
    try {
        bench::generateStore(shape);
    } catch (const std::exception& e) {
        std::cerr << "tvx-bench-generate: " << e.what() << '\n';
        return 1;
    }
    std::cout << "generated " << bench::storedRecordCount() << " records\n";
    return 0;
}

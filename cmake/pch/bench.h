// The core's headers and Google Benchmark.
#pragma once
#include "core.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

// The windows' headers, Google Test and what the tests use to drive programs.
#pragma once
#include "ui.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

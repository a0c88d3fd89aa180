#pragma once
// The window test suites, run one after the other by one program under one TApplication.
#include <QObject>
#include <memory>

std::unique_ptr<QObject> MakeOutputAreaTests();
std::unique_ptr<QObject> MakeWindowTests();
std::unique_ptr<QObject> MakeErrorHandlerTests();
std::unique_ptr<QObject> MakeFileCommandTests();
std::unique_ptr<QObject> MakeQtDialogTests();

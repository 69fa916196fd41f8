#include "earth/chart/chartapplication.h"

#include "core/error.h"
#include "earth/chart/chartwidget.h"
#include "earth/kmldocument.h"

#include <QImageWriter>

namespace tideplot {

ChartApplication::ChartApplication() : widget_(std::make_unique<ChartWidget>()) {}

ChartApplication::~ChartApplication() = default;

void ChartApplication::LoadKmlData(const std::string& kmlText)
{
    widget_->addLines(ParseKmlLines(kmlText));
}

CameraInfoGE ChartApplication::GetCamera(int)
{
    return widget_->camera();
}

void ChartApplication::SetCamera(const CameraInfoGE& camera, double)
{
    widget_->setCamera(camera);
}

QImage ChartApplication::renderImage(const QSize& sizePx) const
{
    return widget_->renderImage(sizePx);
}

void ChartApplication::saveImage(const QString& path, const QSize& sizePx) const
{
    QImageWriter writer(path, "png");
    if (!writer.write(renderImage(sizePx)))
        throw Error(
            QStringLiteral("cannot write the chart picture %1: %2").arg(path, writer.errorString()).toStdString());
}

} // namespace tideplot

#include "earth/chart/chartapplication.h"

#include "core/error.h"
#include "core/outputfile.h"
#include "earth/chart/chartwidget.h"
#include "earth/kmldocument.h"

#include <QBuffer>
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

QByteArray ChartApplication::pngImage(const QSize& sizePx) const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(renderImage(sizePx)))
        throw Error("the chart picture cannot be made as PNG: " + writer.errorString().toStdString());
    return bytes;
}

void ChartApplication::saveImage(const QString& path, const QSize& sizePx) const
{
    OutputFile file(path, "the chart picture");
    file.Write(pngImage(sizePx));
    file.Commit();
}

} // namespace tideplot

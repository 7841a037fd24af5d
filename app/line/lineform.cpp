#include "app/line/lineform.h"


namespace app::line {

// Positions at 96 pixels per inch. The rows sit inside RowsBox, below its header labels.
namespace {
constexpr int kRowsTop = 48;      // the first row's top inside the group
constexpr int kRowHeight = 28;    // from one row's top to the next
constexpr int kRowInner = 22;     // a row's controls' height
constexpr int kGroupTop = 8;      // the group's top in the form
constexpr int kGroupBottom = 8;   // inside the group below the last row
constexpr int kSummaryGap = 8;    // between the group and the summary line
constexpr int kSummaryHeight = 20;
constexpr int kFormBottom = 8;
struct Column {
  int left, width;
};
constexpr Column kConverterColumn{12, 172};
constexpr Column kSerialColumn{192, 136};
constexpr Column kStatusColumn{336, 344};
constexpr Column kProgressColumn{688, 104};
// A row's status field: white while its board is written, green once written, red once failed.
constexpr fw::TColor kWrittenColor = 0x00C0FFC0u;  // 0x00BBGGRR
constexpr fw::TColor kFailedColor = 0x00C0C0FFu;
}  // namespace

const char* const kLineFormText = R"(object LineForm: TLineForm
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'LCD Konfiguration'
  ClientHeight = 120
  ClientWidth = 817
  Color = clBtnFace
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Position = poDesktopCenter
  OnCloseQuery = FormCloseQuery
  PixelsPerInch = 96
  TextHeight = 13
  object RowsBox: TGroupBox
    Left = 8
    Top = 8
    Width = 801
    Height = 64
    Caption = 'Platinen'
    Font.Height = -16
    Font.Name = 'Arial'
    Font.Style = []
    ParentFont = False
    TabOrder = 0
    object ConverterHeader: TLabel
      Left = 12
      Top = 24
      Width = 172
      Height = 18
      AutoSize = False
      Caption = 'Wandler'
      Font.Height = -16
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object SerialHeader: TLabel
      Left = 192
      Top = 24
      Width = 136
      Height = 18
      AutoSize = False
      Caption = 'Seriennummer'
      Font.Height = -16
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object StatusHeader: TLabel
      Left = 336
      Top = 24
      Width = 344
      Height = 18
      AutoSize = False
      Caption = 'Status'
      Font.Height = -16
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object ProgressHeader: TLabel
      Left = 688
      Top = 24
      Width = 104
      Height = 18
      AutoSize = False
      Caption = 'Fortschritt'
      Font.Height = -16
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
  end
  object SummaryLabel: TLabel
    Left = 8
    Top = 80
    Width = 801
    Height = 20
    AutoSize = False
    Font.Height = -16
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ParentFont = False
  end
end
)";

TLineForm::TLineForm(fw::TComponent* owner) : fw::TForm(owner) {
  MethodTable().Add("FormCloseQuery", fw::Method<&TLineForm::FormCloseQuery>(this));
  ReadFormText(kLineFormText);
  basePpi_ = PixelsPerInch();
  auto find = [this](const char* name) { return FindComponent(name); };
  RowsBox = static_cast<fw::TGroupBox*>(find("RowsBox"));
  ConverterHeader = static_cast<fw::TLabel*>(find("ConverterHeader"));
  SerialHeader = static_cast<fw::TLabel*>(find("SerialHeader"));
  StatusHeader = static_cast<fw::TLabel*>(find("StatusHeader"));
  ProgressHeader = static_cast<fw::TLabel*>(find("ProgressHeader"));
  SummaryLabel = static_cast<fw::TLabel*>(find("SummaryLabel"));
  Arrange();
}

TLineForm::~TLineForm() { DestroyComponents(); }

int TLineForm::Scaled(int length) const { return fw::MulDiv(length, basePpi_, 96); }

size_t TLineForm::AddRow() {
  const int top = kRowsTop + static_cast<int>(rows_.size()) * kRowHeight;
  auto label = [&](Column column) {
    auto* l = new fw::TLabel(this);
    l->SetAutoSize(false);
    l->SetTransparent(false);
    l->SetColor(fw::clWhite);
    l->SetBounds(Scaled(column.left), Scaled(top), Scaled(column.width), Scaled(kRowInner));
    l->SetParent(RowsBox);
    return l;
  };
  Row row;
  row.converter = label(kConverterColumn);
  row.serial = label(kSerialColumn);
  row.status = label(kStatusColumn);
  row.progress = new fw::TProgressBar(this);
  row.progress->SetSmooth(true);
  row.progress->SetBounds(Scaled(kProgressColumn.left), Scaled(top), Scaled(kProgressColumn.width),
                          Scaled(kRowInner));
  row.progress->SetParent(RowsBox);
  rows_.push_back(row);
  Arrange();
  return rows_.size() - 1;
}

void TLineForm::SetRow(size_t index, const std::string& converter, const std::string& serial,
                       const std::string& status, int percent, RowLook look) {
  const Row& row = rows_.at(index);
  row.converter->SetCaption(converter);
  row.serial->SetCaption(serial);
  row.status->SetCaption(status);
  row.progress->SetPosition(percent < 0 ? 0 : percent);
  fw::TColor color = fw::clWhite;
  if (look == RowLook::Written) color = kWrittenColor;
  if (look == RowLook::Failed) color = kFailedColor;
  row.status->SetColor(color);
}

void TLineForm::Arrange() {
  const int rows = static_cast<int>(rows_.size());
  const int groupHeight = kRowsTop + rows * kRowHeight + kGroupBottom;
  RowsBox->SetBounds(RowsBox->Left(), Scaled(kGroupTop), RowsBox->Width(), Scaled(groupHeight));
  const int summaryTop = kGroupTop + groupHeight + kSummaryGap;
  SummaryLabel->SetBounds(SummaryLabel->Left(), Scaled(summaryTop), SummaryLabel->Width(),
                          Scaled(kSummaryHeight));
  SetClientHeight(Scaled(summaryTop + kSummaryHeight + kFormBottom));
}

void TLineForm::FormCloseQuery(fw::TObject*, bool& canClose) {
  if (closeAllowed) return;
  canClose = false;
  if (OnCloseRefused) OnCloseRefused();
}

}  // namespace app::line

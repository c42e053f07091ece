#include "mobile/UserRights.h"

namespace quor::mobile {

const std::vector<PhoneWindow>& PhoneWindows() {
  static const std::vector<PhoneWindow> kWindows = {
      {308, "商品资料"},
      {338, "商品单位"},
      {304, "往来单位"},
      {306, "仓库资料"},
      {305, "职员资料"},
      {800112, "快速采购"},
      {112, "采购单"},
      {113, "采购退货"},
      {172, "付款单"},
      {800115, "快速销售"},
      {115, "销售单"},
      {116, "销售退货"},
      {171, "收款单"},
      {131, "获赠单"},
      {132, "赠送单"},
      {133, "报损单"},
      {134, "报溢单"},
      {141, "领料单"},
      {142, "退料单"},
      {424, "库存盘点"},
      {136, "商品调拨"},
      {135, "商品组装"},
      {800135, "商品拆卸"},
      {529, "库存状况查询"},
      {421, "库存数量查询"},
      {470, "应收查询"},
      {471, "应付查询"},
      {405, "交易明细"},
      {432, "采购支出统计"},
      {800432, "商品采购统计"},
      {810432, "供应商采购统计"},
      {820432, "职员采购统计"},
      {830432, "采购流水报表"},
      {433, "商品收入统计"},
      {431, "客户销售统计"},
      {800431, "销售排行榜"},
      {810431, "商品销售统计"},
      {800433, "职员销售统计"},
      {830431, "销售流水报表"},
      {70112, "查询采购单"},
      {70113, "查询采购退货"},
      {70172, "查询付款单"},
      {70115, "查询销售单"},
      {70116, "查询销售退货"},
      {70171, "查询收款单"},
      {70131, "查询获赠单"},
      {70132, "查询赠送单"},
      {70141, "查询领料单"},
      {70142, "查询退料单"},
      {70133, "查询报损单"},
      {70134, "查询报溢单"},
      {70424, "查询库存盘点"},
      {70136, "查询同价调拨"},
      {70135, "查询商品组装"},
      {78135, "查询商品拆卸"},
      {574, "权限管理"},
      {573, "导入导出"},
      {576, "业务设置"},
      {527, "离线备份"},
      {70001, "商品类型"},
      {70002, "收入支出"},
      {70003, "数据同步"},
      {70004, "导入通讯录"},
      {70005, "报表条件"},
      {80001, "注销"},
      {80003, "修改密码"},
      {80002, "蓝牙打印"},
      {80004, "关于我们"},
  };
  return kWindows;
}

bool RightGranted(std::string_view limit, std::int64_t right) {
  if (right < 0) return false;
  const std::uint64_t position = static_cast<std::uint64_t>(right) * 7;
  return position < limit.size() && limit[position] == '1';
}

bool WindowActive(std::string_view limit, std::int32_t windowId) {
  constexpr std::int32_t kTransactionDetail = 405;
  if (windowId >= 800001 && windowId <= 899999) return RightGranted(limit, windowId % 1000);
  if (windowId >= 70010 && windowId <= 79999) {
    const std::int32_t window = windowId == 78135 ? 135 : windowId - 70000;
    return RightGranted(limit, kTransactionDetail) && RightGranted(limit, window);
  }
  if (windowId >= 50001 && windowId <= 89999) return true;
  return RightGranted(limit, windowId);
}

}  // namespace quor::mobile

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="zh_CN">
<context>
    <name>Form</name>
    <message>
        <source>Form</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>第一步：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RTS:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>高</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>低</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>   DTR:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>     延时：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ms</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>金机测试上位机软件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试设备参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>使能</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设备名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>串口号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>总测试结果</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX RSSI校准值</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RX RSSI校准值</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX 测试结果</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RX 测试结果</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>频偏测试结果</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>金机</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>通过</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RX测试参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RSSI上限：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RSSI下限：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>频偏上限：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>频偏下限：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX测试参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>其它测试参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试信道：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发送间隔：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>超时时间：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试准备</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择测试固件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>锁定参数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>自动测试</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>计数清零</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试计数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>总数：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>成功：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>失败：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试中</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>开始测试</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未开始</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试通过</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>等待测试</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bin文件(*bin)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择了无效的固件文件！</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>停止测试</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发生错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不通过</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择一行，查看其结果与原因</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>良率统计</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>语言(&amp;L)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>良率统计（%1 个警告）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>工位故障</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>金机故障</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>超时时间过短</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法开始测试</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请先改正工位设置文件 %1：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请先改正以下设置：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未判定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定将总数、成功数和失败数清零吗？清零后无法恢复。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本地数据库：%1 个周期未能记录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登录被拒绝</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>数据库不存在</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>数据库结构不符</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>数据库错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>上传中</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>工厂数据库：%1 个周期等待上传（%2）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法读取：%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 行，应为 42 行</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>第 %1 行不是 UTF-8 文本</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设置文件 %1 未载入（%2），该文件保持原样；本次设置在关闭时保存到 %3。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>自动测试：设置文件中勾选时，第一个正常结束的测试之后，以后每次开始测试都带上自动测试标志交给测试引擎。引擎只保存该标志，不会自动开始下一次测试，窗口上看不到变化。在这里勾选或取消只改变关闭时保存的设置，下次启动才生效。</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RowReason</name>
    <message>
        <source>串口打不开</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>串口打不开：测试工具无法打开模块的串口。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无应答：模块没有应答下载模式的探测。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无应答：模块中的测试固件没有应答。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试工具：%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请检查：串口名是否正确，USB转串口是否插好，串口是否被其他程序占用。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请检查：模块的线缆和夹具是否接好，模块是否上电。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请检查：模块的线缆和供电；测试固件下载后没有运行时，也请检查固件文件。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请检查：测试固件文件是否正确；线缆接触不良也会使下载出错。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无应答</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>固件被拒</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>金机MAC失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>UID失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MAC失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>晶振写入失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RX无结果</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>晶振未收敛</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OTP写入失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX启动失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX停止失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX无结果</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发生错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无应答：模块未进入下载模式（串口、线缆或模块未接好）。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试固件被拒：下载到模块RAM失败。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MAC：模块20次都未接受金机的MAC地址。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读取Flash UID失败。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MAC：模块未接受自己的MAC地址。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>晶振校准：模块未接受晶振值。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RX测试：模块未返回测量结果。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>晶振校准未收敛：40次后频偏仍未小于5 kHz，最后平均频偏 %1 kHz。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OTP写入失败：校准后的晶振值未写入模块。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX测试：模块未进入发射模式。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX测试：模块未停止发射。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX测试：金机未测到20个TX RSSI样本。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试步骤失败。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>上限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>下限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>（%1 %2，含校准值 %3）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>（%1）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>晶振值 %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有测得数值。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测得：%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本次测试日志：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：通过</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：不通过</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：发生错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：未判定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本次测试因工位故障结束，不计入计数。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX测试未进行：前面模块的TX步骤失败，结束了本次测试；不计入计数。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试结束后显示日志。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>金机故障：金机的一个测试步骤失败，本次测试没有判定任何模块，也不计入计数。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>超时时间过短：模块测试超过了超时时间 %1 ms，本次测试没有判定任何模块。请加大超时时间。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>工位故障：本次测试没有完整的结果，没有判定任何模块。</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SetupMessages</name>
    <message>
        <source>RX RSSI上限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RX RSSI下限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RX 频偏上限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RX 频偏下限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX RSSI上限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX RSSI下限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试信道</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发送间隔</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>超时时间</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>测试固件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>金机串口号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DUT%1 串口号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DUT%1 TX RSSI校准值</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DUT%1 RX RSSI校准值</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>待测设备</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：不是数字（“%2”）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：必须是整数（“%2”）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：最多 %2 位小数（“%3”）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：超出范围 %2 到 %3（“%4”）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：必须小于上限（%2 不小于 %3）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：未填写</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：文件不存在（%2）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：不能包含逗号（“%2”）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：“%2”已是%3的串口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>金机</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未选择任何待测设备</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>YieldView</name>
    <message>
        <source>设备</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>通过</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>良率</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连续失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全部设备</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>今日</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1：通过 %2，失败 %3，良率 %4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DUT%1 已连续 %2 次失败：多为夹具或线缆问题，请先检查该槽位。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>今日尚无数据</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>接受的晶振值</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>结果文件有 %1 行无法读取，未计入</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RX RSSI (dBm，不含校准值)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>频偏 (kHz)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TX RSSI (dBm，不含校准值)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>此工位目录 %1 正由 %2（进程 %3）使用，同一目录一次只能运行一个测试程序。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>错误</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>

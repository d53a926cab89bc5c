<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Form</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>第一步：</source>
        <translation>Step 1:</translation>
    </message>
    <message>
        <source>RTS:</source>
        <translation>RTS:</translation>
    </message>
    <message>
        <source>高</source>
        <translation>High</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>   DTR:</source>
        <translation>   DTR:</translation>
    </message>
    <message>
        <source>     延时：</source>
        <translation>     Delay:</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>ms</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>金机测试上位机软件</source>
        <translation>Golden machine test station</translation>
    </message>
    <message>
        <source>测试</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>测试设备参数</source>
        <translation>Devices under test</translation>
    </message>
    <message>
        <source>使能</source>
        <translation>On</translation>
    </message>
    <message>
        <source>设备名</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>串口号</source>
        <translation>Serial port</translation>
    </message>
    <message>
        <source>总测试结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>TX RSSI校准值</source>
        <translation>TX RSSI offset</translation>
    </message>
    <message>
        <source>RX RSSI校准值</source>
        <translation>RX RSSI offset</translation>
    </message>
    <message>
        <source>TX 测试结果</source>
        <translation>TX RSSI</translation>
    </message>
    <message>
        <source>RX 测试结果</source>
        <translation>RX RSSI</translation>
    </message>
    <message>
        <source>频偏测试结果</source>
        <translation>Freq. offset</translation>
    </message>
    <message>
        <source>选择一行，查看其结果与原因</source>
        <translation>Select a row to see its result and why</translation>
    </message>
    <message>
        <source>良率统计</source>
        <translation>Yield</translation>
    </message>
    <message>
        <source>RX测试参数</source>
        <translation>RX limits</translation>
    </message>
    <message>
        <source>RSSI上限：</source>
        <translation>RSSI max:</translation>
    </message>
    <message>
        <source>RSSI下限：</source>
        <translation>RSSI min:</translation>
    </message>
    <message>
        <source>频偏上限：</source>
        <translation>Offset max:</translation>
    </message>
    <message>
        <source>频偏下限：</source>
        <translation>Offset min:</translation>
    </message>
    <message>
        <source>TX测试参数</source>
        <translation>TX limits</translation>
    </message>
    <message>
        <source>其它测试参数</source>
        <translation>Other parameters</translation>
    </message>
    <message>
        <source>测试信道：</source>
        <translation>Channel:</translation>
    </message>
    <message>
        <source>发送间隔：</source>
        <translation>Interval:</translation>
    </message>
    <message>
        <source>超时时间：</source>
        <translation>Time-out:</translation>
    </message>
    <message>
        <source>测试准备</source>
        <translation>Preparation</translation>
    </message>
    <message>
        <source>选择测试固件</source>
        <translation>Firmware...</translation>
    </message>
    <message>
        <source>锁定参数</source>
        <translation>Lock</translation>
    </message>
    <message>
        <source>自动测试</source>
        <translation>Auto test</translation>
    </message>
    <message>
        <source>计数清零</source>
        <translation>Clear counts</translation>
    </message>
    <message>
        <source>测试计数</source>
        <translation>Counts</translation>
    </message>
    <message>
        <source>总数：</source>
        <translation>Total:</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>成功：</source>
        <translation>Passed:</translation>
    </message>
    <message>
        <source>失败：</source>
        <translation>Failed:</translation>
    </message>
    <message>
        <source>测试中</source>
        <translation>Testing</translation>
    </message>
    <message>
        <source>开始测试</source>
        <translation>Start test</translation>
    </message>
    <message>
        <source>语言(&amp;L)</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>停止测试</source>
        <translation>Stop test</translation>
    </message>
    <message>
        <source>良率统计（%1 个警告）</source>
        <translation>Yield (%1 warning(s))</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>测试通过</source>
        <translation>Passed</translation>
    </message>
    <message>
        <source>测试失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>等待测试</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>工位故障</source>
        <translation>Station fault</translation>
    </message>
    <message>
        <source>金机故障</source>
        <translation>Golden machine fault</translation>
    </message>
    <message>
        <source>超时时间过短</source>
        <translation>Time-out too short</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open file</translation>
    </message>
    <message>
        <source>bin文件(*bin)</source>
        <translation>bin files (*bin)</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>选择了无效的固件文件！</source>
        <translation>The file chosen is no valid firmware file!</translation>
    </message>
    <message>
        <source>无法开始测试</source>
        <translation>Cannot start the test</translation>
    </message>
    <message>
        <source>请先改正工位设置文件 %1：</source>
        <translation>Please correct the station settings file %1 first:</translation>
    </message>
    <message>
        <source>请先改正以下设置：</source>
        <translation>Please correct these settings first:</translation>
    </message>
    <message>
        <source>发生错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>未判定</source>
        <translation>Not judged</translation>
    </message>
    <message>
        <source>通过</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不通过</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>金机</source>
        <translation>Golden machine</translation>
    </message>
    <message>
        <source>确定将总数、成功数和失败数清零吗？清零后无法恢复。</source>
        <translation>Set the total, passed and failed counts to zero? They cannot be restored.</translation>
    </message>
    <message>
        <source>本地数据库：%1 个周期未能记录</source>
        <translation>Local database: %1 cycles not recorded</translation>
    </message>
    <message>
        <source>无法连接</source>
        <translation>cannot connect</translation>
    </message>
    <message>
        <source>登录被拒绝</source>
        <translation>login refused</translation>
    </message>
    <message>
        <source>数据库不存在</source>
        <translation>database missing</translation>
    </message>
    <message>
        <source>数据库结构不符</source>
        <translation>database layout differs</translation>
    </message>
    <message>
        <source>数据库错误</source>
        <translation>database error</translation>
    </message>
    <message>
        <source>上传中</source>
        <translation>uploading</translation>
    </message>
    <message>
        <source>工厂数据库：%1 个周期等待上传（%2）</source>
        <translation>Factory database: %1 cycles waiting for upload (%2)</translation>
    </message>
    <message>
        <source>无法读取：%1</source>
        <translation>cannot be read: %1</translation>
    </message>
    <message>
        <source>%1 行，应为 42 行</source>
        <translation>%1 lines instead of 42</translation>
    </message>
    <message>
        <source>第 %1 行不是 UTF-8 文本</source>
        <translation>line %1 is not UTF-8 text</translation>
    </message>
    <message>
        <source>设置文件 %1 未载入（%2），该文件保持原样；本次设置在关闭时保存到 %3。</source>
        <translation>Settings file %1 not loaded (%2); it stays as it is. This session&apos;s settings are saved to %3 on closing.</translation>
    </message>
    <message>
        <source>自动测试：设置文件中勾选时，第一个正常结束的测试之后，以后每次开始测试都带上自动测试标志交给测试引擎。引擎只保存该标志，不会自动开始下一次测试，窗口上看不到变化。在这里勾选或取消只改变关闭时保存的设置，下次启动才生效。</source>
        <translation>Auto test: when ticked in the settings file, every cycle started after the first one that ended normally hands the engine the auto-test flag. The engine only keeps the flag: no cycle starts on its own and nothing changes in the window. Ticking or clearing it here changes only what is saved on closing; it takes effect at the next start.</translation>
    </message>
</context>
<context>
    <name>RowReason</name>
    <message>
        <source>串口打不开</source>
        <translation>Port does not open</translation>
    </message>
    <message>
        <source>串口打不开：测试工具无法打开模块的串口。</source>
        <translation>Port does not open: the chip tool cannot open the module&apos;s serial port.</translation>
    </message>
    <message>
        <source>无应答：模块没有应答下载模式的探测。</source>
        <translation>No answer: the module did not answer the download mode probe.</translation>
    </message>
    <message>
        <source>无应答：模块中的测试固件没有应答。</source>
        <translation>No answer: the test firmware in the module did not answer.</translation>
    </message>
    <message>
        <source>测试工具：%1</source>
        <translation>Chip tool: %1</translation>
    </message>
    <message>
        <source>请检查：串口名是否正确，USB转串口是否插好，串口是否被其他程序占用。</source>
        <translation>Check: the port name, the USB-serial adapter&apos;s plug, and whether another program holds the port.</translation>
    </message>
    <message>
        <source>请检查：模块的线缆和夹具是否接好，模块是否上电。</source>
        <translation>Check: the module&apos;s cable and fixture, and that the module is powered.</translation>
    </message>
    <message>
        <source>请检查：模块的线缆和供电；测试固件下载后没有运行时，也请检查固件文件。</source>
        <translation>Check: the module&apos;s cable and power; when the test firmware was loaded but does not run, check the firmware file too.</translation>
    </message>
    <message>
        <source>请检查：测试固件文件是否正确；线缆接触不良也会使下载出错。</source>
        <translation>Check: the test firmware file; a poor cable contact also spoils a download.</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No answer</translation>
    </message>
    <message>
        <source>固件被拒</source>
        <translation>Ramcode refused</translation>
    </message>
    <message>
        <source>金机MAC失败</source>
        <translation>Golden MAC failed</translation>
    </message>
    <message>
        <source>UID失败</source>
        <translation>UID failed</translation>
    </message>
    <message>
        <source>MAC失败</source>
        <translation>MAC failed</translation>
    </message>
    <message>
        <source>晶振写入失败</source>
        <translation>Crystal write failed</translation>
    </message>
    <message>
        <source>RX无结果</source>
        <translation>No RX result</translation>
    </message>
    <message>
        <source>晶振未收敛</source>
        <translation>Crystal not converged</translation>
    </message>
    <message>
        <source>OTP写入失败</source>
        <translation>OTP write failed</translation>
    </message>
    <message>
        <source>TX启动失败</source>
        <translation>TX start failed</translation>
    </message>
    <message>
        <source>TX停止失败</source>
        <translation>TX stop failed</translation>
    </message>
    <message>
        <source>TX无结果</source>
        <translation>No TX result</translation>
    </message>
    <message>
        <source>发生错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无应答：模块未进入下载模式（串口、线缆或模块未接好）。</source>
        <translation>No answer: the module did not enter boot mode (check the port, the cable and that a module is in place).</translation>
    </message>
    <message>
        <source>测试固件被拒：下载到模块RAM失败。</source>
        <translation>Ramcode refused: the download into the module&apos;s RAM failed.</translation>
    </message>
    <message>
        <source>MAC：模块20次都未接受金机的MAC地址。</source>
        <translation>MAC: the module did not take the golden machine&apos;s MAC in 20 attempts.</translation>
    </message>
    <message>
        <source>读取Flash UID失败。</source>
        <translation>The flash UID could not be read.</translation>
    </message>
    <message>
        <source>MAC：模块未接受自己的MAC地址。</source>
        <translation>MAC: the module did not take its own MAC.</translation>
    </message>
    <message>
        <source>晶振校准：模块未接受晶振值。</source>
        <translation>Crystal calibration: the module did not take a crystal value.</translation>
    </message>
    <message>
        <source>RX测试：模块未返回测量结果。</source>
        <translation>RX test: the module returned no measurement.</translation>
    </message>
    <message>
        <source>晶振校准未收敛：40次后频偏仍未小于5 kHz，最后平均频偏 %1 kHz。</source>
        <translation>Crystal calibration did not converge: after 40 steps the offset was still not below 5 kHz; last mean offset %1 kHz.</translation>
    </message>
    <message>
        <source>OTP写入失败：校准后的晶振值未写入模块。</source>
        <translation>OTP write failed: the calibrated crystal value was not written into the module.</translation>
    </message>
    <message>
        <source>TX测试：模块未进入发射模式。</source>
        <translation>TX test: the module did not start transmitting.</translation>
    </message>
    <message>
        <source>TX测试：模块未停止发射。</source>
        <translation>TX test: the module did not stop transmitting.</translation>
    </message>
    <message>
        <source>TX测试：金机未测到20个TX RSSI样本。</source>
        <translation>TX test: the golden machine did not measure 20 TX RSSI samples.</translation>
    </message>
    <message>
        <source>测试步骤失败。</source>
        <translation>A test step failed.</translation>
    </message>
    <message>
        <source>上限</source>
        <translation>upper limit</translation>
    </message>
    <message>
        <source>下限</source>
        <translation>lower limit</translation>
    </message>
    <message>
        <source>（%1 %2，含校准值 %3）</source>
        <translation> (%1 %2 plus offset %3)</translation>
    </message>
    <message>
        <source>（%1）</source>
        <translation> (%1)</translation>
    </message>
    <message>
        <source>晶振值 %1</source>
        <translation>crystal %1</translation>
    </message>
    <message>
        <source>没有测得数值。</source>
        <translation>Nothing was measured.</translation>
    </message>
    <message>
        <source>测得：%1</source>
        <translation>Measured: %1</translation>
    </message>
    <message>
        <source>本次测试日志：</source>
        <translation>Log of this cycle:</translation>
    </message>
    <message>
        <source>%1：通过</source>
        <translation>%1: pass</translation>
    </message>
    <message>
        <source>%1：不通过</source>
        <translation>%1: fail</translation>
    </message>
    <message>
        <source>%1：发生错误</source>
        <translation>%1: error</translation>
    </message>
    <message>
        <source>%1：未判定</source>
        <translation>%1: not judged</translation>
    </message>
    <message>
        <source>本次测试因工位故障结束，不计入计数。</source>
        <translation>The cycle ended in a station fault; it is not counted.</translation>
    </message>
    <message>
        <source>TX测试未进行：前面模块的TX步骤失败，结束了本次测试；不计入计数。</source>
        <translation>TX test not run: a TX step of an earlier module failed and ended the cycle; not counted.</translation>
    </message>
    <message>
        <source>测试结束后显示日志。</source>
        <translation>The log shows when the cycle has ended.</translation>
    </message>
    <message>
        <source>金机故障：金机的一个测试步骤失败，本次测试没有判定任何模块，也不计入计数。</source>
        <translation>Golden machine fault: a step of the golden machine failed; no module of this cycle was judged or counted.</translation>
    </message>
    <message>
        <source>超时时间过短：模块测试超过了超时时间 %1 ms，本次测试没有判定任何模块。请加大超时时间。</source>
        <translation>Time-out too short: the modules took longer than the time-out of %1 ms; no module of this cycle was judged. Raise the time-out.</translation>
    </message>
    <message>
        <source>工位故障：本次测试没有完整的结果，没有判定任何模块。</source>
        <translation>Station fault: the cycle has no complete results; no module was judged.</translation>
    </message>
</context>
<context>
    <name>SetupMessages</name>
    <message>
        <source>RX RSSI上限</source>
        <translation>RX RSSI max</translation>
    </message>
    <message>
        <source>RX RSSI下限</source>
        <translation>RX RSSI min</translation>
    </message>
    <message>
        <source>RX 频偏上限</source>
        <translation>RX offset max</translation>
    </message>
    <message>
        <source>RX 频偏下限</source>
        <translation>RX offset min</translation>
    </message>
    <message>
        <source>TX RSSI上限</source>
        <translation>TX RSSI max</translation>
    </message>
    <message>
        <source>TX RSSI下限</source>
        <translation>TX RSSI min</translation>
    </message>
    <message>
        <source>测试信道</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>发送间隔</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>超时时间</source>
        <translation>Time-out</translation>
    </message>
    <message>
        <source>测试固件</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>金机串口号</source>
        <translation>Golden machine&apos;s serial port</translation>
    </message>
    <message>
        <source>DUT%1 串口号</source>
        <translation>DUT%1 serial port</translation>
    </message>
    <message>
        <source>DUT%1 TX RSSI校准值</source>
        <translation>DUT%1 TX RSSI offset</translation>
    </message>
    <message>
        <source>DUT%1 RX RSSI校准值</source>
        <translation>DUT%1 RX RSSI offset</translation>
    </message>
    <message>
        <source>待测设备</source>
        <translation>Devices under test</translation>
    </message>
    <message>
        <source>%1：不是数字（“%2”）</source>
        <translation>%1: not a number (&quot;%2&quot;)</translation>
    </message>
    <message>
        <source>%1：必须是整数（“%2”）</source>
        <translation>%1: must be a whole number (&quot;%2&quot;)</translation>
    </message>
    <message>
        <source>%1：最多 %2 位小数（“%3”）</source>
        <translation>%1: at most %2 decimals (&quot;%3&quot;)</translation>
    </message>
    <message>
        <source>%1：超出范围 %2 到 %3（“%4”）</source>
        <translation>%1: out of range %2 to %3 (&quot;%4&quot;)</translation>
    </message>
    <message>
        <source>%1：必须小于上限（%2 不小于 %3）</source>
        <translation>%1: must be below the upper limit (%2 is not below %3)</translation>
    </message>
    <message>
        <source>%1：未填写</source>
        <translation>%1: empty</translation>
    </message>
    <message>
        <source>%1：文件不存在（%2）</source>
        <translation>%1: no such file (%2)</translation>
    </message>
    <message>
        <source>%1：不能包含逗号（“%2”）</source>
        <translation>%1: may not contain a comma (&quot;%2&quot;)</translation>
    </message>
    <message>
        <source>%1：“%2”已是%3的串口</source>
        <translation>%1: &quot;%2&quot; is already the port of %3</translation>
    </message>
    <message>
        <source>金机</source>
        <translation>the golden machine</translation>
    </message>
    <message>
        <source>未选择任何待测设备</source>
        <translation>No device under test is enabled</translation>
    </message>
</context>
<context>
    <name>YieldView</name>
    <message>
        <source>设备</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>通过</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>良率</source>
        <translation>Yield</translation>
    </message>
    <message>
        <source>连续失败</source>
        <translation>Streak</translation>
    </message>
    <message>
        <source>全部设备</source>
        <translation>All devices</translation>
    </message>
    <message>
        <source>今日</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>%1：通过 %2，失败 %3，良率 %4</source>
        <translation>%1: passed %2, failed %3, yield %4</translation>
    </message>
    <message>
        <source>DUT%1 已连续 %2 次失败：多为夹具或线缆问题，请先检查该槽位。</source>
        <translation>DUT%1 failed %2 cycles in a row: most often its fixture or cable; check this slot first.</translation>
    </message>
    <message>
        <source>今日尚无数据</source>
        <translation>No data today yet</translation>
    </message>
    <message>
        <source>接受的晶振值</source>
        <translation>Crystal value accepted</translation>
    </message>
    <message>
        <source>结果文件有 %1 行无法读取，未计入</source>
        <translation>%1 rows of the results file could not be read and are not counted</translation>
    </message>
    <message>
        <source>RX RSSI (dBm，不含校准值)</source>
        <translation>RX RSSI (dBm, offsets not included)</translation>
    </message>
    <message>
        <source>频偏 (kHz)</source>
        <translation>Frequency offset (kHz)</translation>
    </message>
    <message>
        <source>TX RSSI (dBm，不含校准值)</source>
        <translation>TX RSSI (dBm, offsets not included)</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>此工位目录 %1 正由 %2（进程 %3）使用，同一目录一次只能运行一个测试程序。</source>
        <translation>This station folder %1 is in use by %2 (process %3); only one test program can run in a folder at a time.</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
</context>
</TS>

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
</context>
</TS>
